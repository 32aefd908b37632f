#pragma once

#include <string_view>

// Comparison of secrets (tokens, their hashes) that takes the same time whatever
// the texts hold, so the time an answer takes tells nothing of how much of a
// guessed secret was right.
namespace SecretCompare {

bool equal(std::string_view given, std::string_view expected);

} // namespace SecretCompare
