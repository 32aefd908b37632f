#include "server/base/LogText.h"

#include <cstdio>

namespace LogText {

std::string escaped(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        // U+0080..U+009F (C2 80..C2 9F in UTF-8) are control characters too; NEL among them.
        const bool c1Control = c == 0xc2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80
                               && static_cast<unsigned char>(text[i + 1]) <= 0x9f;
        if (c < 0x20 || c == 0x7f || c == '\\' || c1Control) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\x%02x", c);
            out.append(buffer);
            if (c1Control) {
                std::snprintf(buffer, sizeof buffer, "\\x%02x", static_cast<unsigned char>(text[++i]));
                out.append(buffer);
            }
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

} // namespace LogText
