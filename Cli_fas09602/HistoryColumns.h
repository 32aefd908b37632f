#pragma once

#include <QString>

#include "pkg_fas09600_export.h"

class TClientDataSet;
class TDBGrid;
class TField;

// How the history screen shows its two packets: the persistent fields of the runs
// and of the entries (the layouts the server answers with), the grids' columns,
// and the texts behind the codes (kind of run, outcome, kind and state of an
// entry). The export reads the same texts, since they are the fields' get-text.
namespace HistoryColumns {

PKG_FAS09600_EXPORT void SetUpRuns(TClientDataSet &runs, TDBGrid &grid);
PKG_FAS09600_EXPORT void SetUpEntries(TClientDataSet &entries, TDBGrid &grid);

// "NF", "Invoice", "Estorno de geração", "Estorno de lançamento"; another method as it is.
PKG_FAS09600_EXPORT QString RunKind(const QString &method);
// "Ok" for a run that went through; else "Recusada: why", in the clerk's words.
PKG_FAS09600_EXPORT QString Outcome(const TField &errorCode);
// "NF" or "Invoice".
PKG_FAS09600_EXPORT QString EntryKind(const QString &code);
// "Ativo" or "Estornado".
PKG_FAS09600_EXPORT QString EntryState(const QString &code);
// The state of an entry's national note (NFS-e): "a enviar", "autorizada",
// "rejeitada: <the service's reason>", "cancelamento pedido", "cancelada"; empty for
// an entry without one.
PKG_FAS09600_EXPORT QString NfseState(const QString &code, const QString &reason);

} // namespace HistoryColumns
