#pragma once

#include <string>
#include <string_view>

// Text that came from a client, made safe for a one-line log entry: control
// characters (a line feed, a carriage return, an escape sequence...) and the
// backslash are written as \xNN, so one request always writes one line and a
// client cannot forge a second one.
namespace LogText {

std::string escaped(std::string_view text);

} // namespace LogText
