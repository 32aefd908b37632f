#pragma once

#include <functional>

#include <QList>
#include <QObject>

#include "outside/net/RemoteArgument.h"
#include "pkg_fas09600_export.h"
#include "platform/data/TDataPacket.h"

class QWidget;
class TClientDataSet;

// The history screen's reversals: "Estornar geração…" (every live entry of the
// selected run) and "Estornar lançamento…" (the selected entry). Each asks the
// reason (ReversalDialog, which is also the clerk's confirmation), calls the
// server, says which entries were reversed (EntryReversed, for the preview's
// result panel) and loads the history again. A refusal is told in the clerk's
// words (ServerRefusals), through the error report, and changes nothing.
// It is given what it works on: the screen (the dialog's parent), the runs and
// their entries, the screen's remote call and its reload.
class PKG_FAS09600_EXPORT HistoryReversal : public QObject
{
    Q_OBJECT
public:
    // One remote call under the busy animation; the packet it answered.
    using Call = std::function<TDataPacket(const QString &method, const QList<RemoteArgument> &args)>;
    struct Parts
    {
        QWidget *screen;
        TClientDataSet *runs;
        TClientDataSet *entries;
        Call call;
        std::function<void()> reload;
    };
    explicit HistoryReversal(const Parts &parts);

    void EstornaGeracao();
    void EstornaLancamento();

    // "2 lançamento(s) estornado(s): NF 12 (01), Invoice 3 (02). Os itens voltaram a pendentes."
    static QString Summary(TClientDataSet &reversed); // walks its rows

signals:
    // Each entry a reversal reversed: its company, kind ("N" or "I") and number.
    void EntryReversed(const QString &companyCode, const QString &kindCode, qint64 number);

private:
    void reverse(const QString &question, const QString &method, QList<RemoteArgument> args);

    Parts m_parts;
};
