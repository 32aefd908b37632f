#pragma once

#include <QString>
#include <QStringList>

#include "kor_export.h"

class TDataSource;

// The list picker. The picked keys travel as a list text: a JSON array of the
// keys as strings, e.g. ["01","A;B"], which carries any key text unambiguously;
// an empty text means nothing picked.
namespace Pesqlista {

// Lets the user pick rows of the data source's dataset (already open). `titleAndEmpty`
// is the picker's title, "|", and the message shown instead when there are no rows.
// `singleChoice` limits the picking to one row. On confirm `list` receives the keys
// (`keyField`) of the picked rows; on cancel it keeps its value, which is also what
// the picker starts from.
KOR_EXPORT void PesquisaLista(TDataSource *source, const QString &keyField, const QString &titleAndEmpty,
                              bool singleChoice, QString &list);

KOR_EXPORT QStringList ParseList(const QString &list); // malformed or empty: no keys
KOR_EXPORT QString WriteList(const QStringList &keys); // no keys: empty text

} // namespace Pesqlista
