#pragma once

#include <memory>
#include <optional>

#include "Cli_fas09601/TFILTRO.h"
#include "outside/forms/TfrmPadrao.h"
#include "pkg_fas09600_export.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QRect;
class TADOIBQuery;
class TBtnPesquisa;
class TButtonFlat;
class TCanvas;
class TClientDataSet;
class TDataSource;
class TDBGrid;
class TField;
class TNetConnection;
class TRemoteValue;
class FaturamentoPictures;
class TickTotals;
class LegendTotals;
class CalculationDateColumn;
class FindBar;
class PreviewActions;
struct PreviewRequest;
class PreviewSorting;
class RunResultPanel;
class ScreenLayout;
struct TColumn;
struct TGridDrawState;

namespace Ui {
class frmFaturamento;
}

// The billing preview screen "Prévia para Faturamento (NF/INVOICE)", FAS09600:
// the billing items of cdsFaturamento on a grid page and a detail page, the
// connection to the application server for the screen's whole life, and the
// commands "Filtrar" and "Gerar Nota Fiscal / Invoice". Billing data is never
// edited through its controls; a row's tick is the only change a user makes.
class PKG_FAS09600_EXPORT TfrmFaturamento : public TfrmPadrao
{
    Q_OBJECT
public:
    explicit TfrmFaturamento(QWidget *parent = nullptr);
    ~TfrmFaturamento() override;

    void FormCreate(QObject *sender) override;
    void FormClose(QObject *sender, TCloseAction &action) override;
    void dtsPadraoStateChange(QObject *sender) override;
    void dbgPadraoKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift) override;
    // Loads the preview again for the filter it was last asked to load (before
    // any, the filter dialog's defaults), without the filter dialog, which puts
    // its own controls and picked lists back.
    void sbtVerificarClick(QObject *sender) override;

    // The one place that loads the preview for a filter, kept as the one the
    // next verify loads again: under the busy animation, empties the situation
    // box, asks the application server's GetFaturamento and replaces the rows
    // of cdsFaturamento with the answer. A failed call leaves the rows as they
    // were and passes the failure on. The filter dialog's confirm comes here.
    // A load the user stops ("Cancelar", Escape) ends quietly, the rows as they were.
    void LoadPreview(const TFILTRO &filtro);

    void netFaturamentoBeforeConnect(QObject *sender);
    void sbtFiltrarClick(QObject *sender);
    void mnuFiltrarClick(QObject *sender);
    void sbtGerarNFClick(QObject *sender);
    void mnuGerarNFClick(QObject *sender);
    void cdsFaturamentoAfterScroll(TClientDataSet *dataSet);
    void cdsFaturamentoAfterOpen(TClientDataSet *dataSet);
    void dbgPadraoDrawColumnCell(TDBGrid *sender, TCanvas &canvas, const QRect &rect, int dataCol,
                                 const TColumn &column, TGridDrawState state);
    void dbgPadraoCellClick(const TColumn &column);
    void dbgPadraoTitleClick(const TColumn &column);
    QString cdsFaturamentoIDAPURFATFASGetText(const TField &sender, bool displayText) const;

    // Components of the screen's own.
    TButtonFlat *sbtFiltrar = nullptr;
    TButtonFlat *sbtGerarNF = nullptr;
    QAction *mnuLinha = nullptr;
    QAction *mnuFiltrar = nullptr;
    QAction *mnuGerarNF = nullptr;
    QGroupBox *grbFormulario = nullptr;
    QLineEdit *edtSituacao = nullptr;
    TBtnPesquisa *btpProduto = nullptr;
    QWidget *panLegenda = nullptr;
    QLabel *lblTotalMarcado = nullptr;
    QLabel *lblLinhas = nullptr; // the rows' count and total, beside the ticked ones
    QLabel *imgVerde = nullptr;
    QLabel *imgVermelho = nullptr;
    QLabel *imgCinza = nullptr;
    QLabel *imgAmarelo = nullptr;
    QLabel *imgNoChecked = nullptr;
    QLabel *imgUnchecked = nullptr;
    QLabel *imgChecked = nullptr;
    TClientDataSet *cdsFaturamento = nullptr;
    TClientDataSet *cdsNota = nullptr;
    TClientDataSet *cdsInv = nullptr;
    TADOIBQuery *qryNacionalidade = nullptr;
    TADOIBQuery *qryProduto = nullptr;
    TDataSource *dtsProduto = nullptr;
    TNetConnection *netFaturamento = nullptr;

    // Around the designed screen: find, export, the run's result, sorting, the kept layout.
    FindBar *findBar = nullptr;
    RunResultPanel *runResultPanel = nullptr;
    PreviewActions *previewActions = nullptr;
    PreviewSorting *previewSorting = nullptr;
    ScreenLayout *screenLayout = nullptr;

    Ui::frmFaturamento *Design() const { return m_ui.get(); }

private:
    TRemoteValue CallGetFaturamento(const PreviewRequest &request);
    // CLINAC of the client, read by qryNacionalidade: the generation run's nationality lookup.
    double clientNationality(const QString &client);
    void showSituation();
    void showPendingSituation();
    void createDataSets();
    void createQueries();
    void bindDetailPage();
    void setUpGridColumns();
    void connectHandlers();
    void setUpGridPainting();
    void showTickTotals();
    void fitLegend();
    int legendEnd() const; // where the legend's captions end, in the panel
    void fitTotalColumn();
    void setUpConveniences();

    std::unique_ptr<Ui::frmFaturamento> m_ui;
    std::unique_ptr<FaturamentoPictures> m_pictures;
    std::unique_ptr<TickTotals> m_tickTotals;
    std::unique_ptr<LegendTotals> m_legendTotals;
    // The cursor moved while the preview's controls were suspended: the situation
    // text of the row it arrived at is shown when they resume (see cdsFaturamentoAfterScroll).
    bool m_situationPending = false;
    // The filter last given to LoadPreview, also when its load failed: the
    // filter dialog has stored it by then, and verify loads it again.
    std::optional<TFILTRO> m_filter;
    QString filterText() const;
    CalculationDateColumn *m_calculationDate = nullptr;
    // The width fitTotalColumn last gave "Valor Total"; any other is the user's.
    int m_fittedTotalWidth = 0;
};
