#include "server/billing/SqlText.h"

#include <map>
#include <stdexcept>
#include <utility>

#include <QFile>

namespace SqlText {

QString get(const char *name, DatabaseUrl::Kind kind)
{
    // Read once, on first use; later calls from any thread only read the map.
    static const std::map<std::pair<std::string, bool>, QString> texts = [] {
        std::map<std::pair<std::string, bool>, QString> all;
        for (const char *file : {"item-select", "preview-where", "item-order"})
            for (bool sqlite : {true, false}) {
                QFile in(QStringLiteral(":/fas/server/sql/%1.%2.sql")
                             .arg(QLatin1String(file), sqlite ? QLatin1String("sqlite") : QLatin1String("postgresql")));
                if (!in.open(QIODevice::ReadOnly))
                    throw std::runtime_error(std::string("missing built-in query ") + file);
                all[{file, sqlite}] = QString::fromUtf8(in.readAll());
            }
        return all;
    }();
    const auto found = texts.find({name, kind == DatabaseUrl::Kind::Sqlite});
    if (found == texts.end())
        throw std::runtime_error(std::string("unknown built-in query ") + name);
    return found->second;
}

} // namespace SqlText
