#pragma once

#include <string>
#include <string_view>

// The header block of one request as the client sent it (request line, header
// lines, up to the blank line), looked at before cpp-httplib's parser sees it.
namespace HeaderBlock {

// Whether every header line is a plain "name: value": none continues the line
// before it (starts with a space or tab), none has a space between its name and
// the colon, and none lacks the colon. The parser would take each of them in its
// own way; a client of this server never sends them.
bool wellFormed(std::string_view block);

// The block with every '%' of its header lines written "%25". The parser
// percent-decodes header values; so escaped, each value reaches the handlers as the
// client sent it ("%41" stays three characters, "Content-Length: %35" is no
// number). The request line is left alone: its path is decoded as a URL should be.
std::string keptAsSent(std::string_view block);

} // namespace HeaderBlock
