#pragma once

#include <memory>

#include <QList>
#include <QMainWindow>
#include <QPointer>

#include "outside/net/RemoteArgument.h"
#include "platform/data/TDataPacket.h"
#include "pkg_fas09600_export.h"

class QAction;
class QLineEdit;
class QMdiSubWindow;
class QMenu;
class HistoryReversal;
class TADOIBQuery;
class TBtnPesquisa;
struct TableHeading;
class TButtonFlat;
class TClientDataSet;
class TDataSource;
class TDateEditPlus;
class TDBGrid;
class TNetConnection;

namespace Ui {
class frmHistorico;
}

// "Histórico de gerações": the runs of generation and reversal in a period (who,
// when, what kind, company, entries, items, total, outcome), newest first, and
// the entries of the selected run below them, with the reversal of a whole run
// or of one entry (HistoryReversal). One screen at a time, an MDI child of the
// host, opened from the preview's "Operação" menu (Abre). It holds its own
// connection to the application server, opened at its first call. Its layout
// is designed in frmHistorico.ui; its data and behaviour are made here.
class PKG_FAS09600_EXPORT TfrmHistorico : public QMainWindow
{
    Q_OBJECT
public:
    explicit TfrmHistorico(QWidget *parent = nullptr);
    ~TfrmHistorico() override;

    // Opens the screen and loads the current month; a screen already open comes
    // to the front as it is.
    static TfrmHistorico *Abre();
    static TfrmHistorico *Aberto(); // the open screen, or nullptr

    // Loads the runs for the filter row; the entries of the first follow.
    void Pesquisar();
    // Loads the entries of the selected run (none when there is no run).
    void CarregaLancamentos();
    // Exports the runs, or the entries when their grid was the last to have the focus.
    void Exportar();
    // The current entry, an invoice, as a PDF where the clerk chooses.
    void SalvarFatura();
    // The grid last with the focus (as Exportar), printed or saved as a PDF, headed
    // by the screen's title and the filter of the last search.
    void Imprimir();
    void SalvarPdf();
    // The reversal commands are for supervisors (or a user whose right is unknown),
    // on a generation that went through and still has a live entry, and on such
    // an entry: never on a reversal, a refused run or an entry reversed already.
    void AtualizaComandos();
    void Fechar();

    // One remote call under the busy animation; the packet it answered.
    TDataPacket Chama(const QString &method, const QList<RemoteArgument> &args);

    TDateEditPlus *depDtInicio = nullptr;
    TDateEditPlus *depDtFim = nullptr;
    QLineEdit *edtUsuario = nullptr;
    QLineEdit *edtEmpresa = nullptr;
    TBtnPesquisa *btpEmpresa = nullptr;
    TButtonFlat *sbtPesquisar = nullptr;
    TButtonFlat *sbtEstornarGeracao = nullptr;
    TButtonFlat *sbtEstornarLancamento = nullptr;
    TButtonFlat *sbtExportar = nullptr;
    TButtonFlat *sbtFechar = nullptr;
    QMenu *mnuOperacao = nullptr;
    QAction *mnuPesquisar = nullptr;
    QAction *mnuEstornarGeracao = nullptr;
    QAction *mnuEstornarLancamento = nullptr;
    QAction *mnuSalvarFatura = nullptr;
    QAction *mnuImprimir = nullptr;
    QAction *mnuSalvarPdf = nullptr;
    QAction *mnuExportar = nullptr;
    QAction *mnuFechar = nullptr;
    TDBGrid *dbgGeracoes = nullptr;
    TDBGrid *dbgLancamentos = nullptr;
    TClientDataSet *cdsGeracoes = nullptr;
    TClientDataSet *cdsLancamentos = nullptr;
    TDataSource *dtsGeracoes = nullptr;
    TDataSource *dtsLancamentos = nullptr;
    TADOIBQuery *qryEmpresa = nullptr;
    TDataSource *dtsEmpresa = nullptr;
    TNetConnection *netHistorico = nullptr;
    HistoryReversal *reversal = nullptr;

private:
    void takeDesign();
    void setUpFilterRow();
    void setUpCommands();
    void setUpGrids();
    void createCompanyQuery();
    void connectHandlers();
    void pickCompany();
    void showAsMdiChild();
    bool hasLiveEntry() const; // among the selected run's entries
    QList<RemoteArgument> filterArguments() const;
    const TDBGrid &exportedGrid() const;
    TableHeading printHeading() const;

    std::unique_ptr<Ui::frmHistorico> m_ui;
    QPointer<QMdiSubWindow> m_frame;
    QPointer<TDBGrid> m_lastGrid; // the grid that last had the focus, for the export
    QString m_searchedFor;        // the filter of the runs shown, as printed
};
