#include "JsonText.h"

namespace JsonText {

void appendString(std::string &out, std::string_view utf8)
{
    static constexpr char hex[] = "0123456789abcdef";
    out.push_back('"');
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (u < 0x20) {
            out.append("\\u00");
            out.push_back(hex[u >> 4]);
            out.push_back(hex[u & 0xF]);
        } else {
            out.push_back(c);
        }
    }
    out.push_back('"');
}

} // namespace JsonText
