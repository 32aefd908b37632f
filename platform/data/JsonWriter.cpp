#include "platform/data/JsonWriter.h"

namespace JsonWriter {

void appendStringList(std::string &out, const QStringList &texts)
{
    out.push_back('[');
    for (qsizetype i = 0; i < texts.size(); ++i) {
        if (i > 0)
            out.push_back(',');
        appendString(out, texts.at(i));
    }
    out.push_back(']');
}

std::string stringList(const QStringList &texts)
{
    std::string out;
    appendStringList(out, texts);
    return out;
}

} // namespace JsonWriter
