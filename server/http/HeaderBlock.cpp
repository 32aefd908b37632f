#include "server/http/HeaderBlock.h"

namespace HeaderBlock {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool wellFormedLine(std::string_view line)
{
    if (line.empty() || isBlank(line.front()))
        return false;
    const std::size_t colon = line.find(':');
    return colon != std::string_view::npos && colon > 0 && !isBlank(line[colon - 1]);
}

} // namespace

bool wellFormed(std::string_view block)
{
    std::size_t start = block.find("\r\n"); // past the request line
    while (start != std::string_view::npos) {
        start += 2;
        const std::size_t end = block.find("\r\n", start);
        if (end == std::string_view::npos || end == start)
            return true; // the blank line that ends the block
        if (!wellFormedLine(block.substr(start, end - start)))
            return false;
        start = end;
    }
    return true;
}

std::string keptAsSent(std::string_view block)
{
    const std::size_t headers = block.find("\r\n");
    if (headers == std::string_view::npos || block.find('%', headers) == std::string_view::npos)
        return std::string(block);
    std::string kept(block.substr(0, headers));
    kept.reserve(block.size() + 16);
    for (const char c : block.substr(headers)) {
        kept += c;
        if (c == '%')
            kept += "25";
    }
    return kept;
}

} // namespace HeaderBlock
