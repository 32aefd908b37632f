#pragma once

#include <string>
#include <string_view>

// Writing JSON string literals: quotes, backslashes and control characters
// escaped, UTF-8 passed through.
namespace JsonText {

void appendString(std::string &out, std::string_view utf8);

} // namespace JsonText
