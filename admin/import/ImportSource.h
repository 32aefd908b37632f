#pragma once

#include <QString>

// The text of an import file: read whole, checked to be UTF-8 (with or without a
// byte-order mark, which is dropped). Throws ImportError naming the file: missing,
// not readable (a permission problem, told apart from a missing file), a folder,
// or in another encoding (naming the first line that is not UTF-8).
namespace ImportSource {

QString load(const QString &path);
// The same check on bytes already read; `path` only names them in the message.
QString decode(const QByteArray &bytes, const QString &path);

} // namespace ImportSource
