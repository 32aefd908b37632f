#include "Cli_fas09600/TfrmFaturamento.h"

#include <algorithm>
#include <cmath>

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QScopeGuard>
#include <QTabWidget>

#include "billing/BillingCodes.h"
#include "billing/BillingItemLayout.h"
#include "Cli_fas09600/CalculationDateColumn.h"
#include "Cli_fas09600/CellToolTips.h"
#include "Cli_fas09600/FindBar.h"
#include "Cli_fas09600/PreviewActions.h"
#include "Cli_fas09600/PreviewSorting.h"
#include "Cli_fas09600/RunResultPanel.h"
#include "Cli_fas09600/ScreenLayout.h"
#include "Cli_fas09600/Cli_fas09600.h"
#include "Cli_fas09601/Cli_fas09601.h"
#include "outside/services/Consiste.h"
#include "Cli_fas09601/PreviewRequest.h"
#include "Cli_fas09601/PreviewLink.h"
#include "Cli_fas09601/TfrmFiltroFaturamento.h"
#include "platform/ui/EventGuard.h"
#include "Cli_fas09600/FaturamentoPictures.h"
#include "platform/data/FormatSettings.h"
#include "Cli_fas09600/GenerationRun.h"
#include "Cli_fas09600/LegendTotals.h"
#include "outside/services/ServerRefusals.h"
#include "outside/services/Korvane.h"
#include "platform/data/FasError.h"
#include "outside/net/RemoteCallError.h"
#include "outside/services/Showavi.h"
#include "outside/forms/StandardGlyphs.h"
#include "outside/data/TADOIBQuery.h"
#include "outside/forms/TApplication.h"
#include "outside/controls/TBtnPesquisa.h"
#include "outside/controls/TButtonFlat.h"
#include "platform/data/TClientDataSet.h"
#include "platform/ui/TDBControls.h"
#include "platform/ui/TDBGrid.h"
#include "platform/ui/TDataSource.h"
#include "outside/services/TMessages.h"
#include "outside/net/TNetConnection.h"
#include "outside/data/TdtmDBGeral.h"
#include "Cli_fas09600/TickCommands.h"
#include "Cli_fas09600/TickTotals.h"
#include "ui_frmFaturamento.h"

TfrmFaturamento::TfrmFaturamento(QWidget *parent)
    : TfrmPadrao(parent)
    , m_ui(std::make_unique<Ui::frmFaturamento>())
{
    setObjectName(QStringLiteral("frmFaturamento"));
    m_ui->setupUi(this);
    move(77, 133); // the designed place in the host's MDI area
    BindDesign();
    fitLegend();

    sbtFiltrar = m_ui->sbtFiltrar;
    sbtGerarNF = m_ui->sbtGerarNF;
    mnuLinha = m_ui->mnuLinha;
    mnuLinha->setSeparator(true);
    mnuFiltrar = m_ui->mnuFiltrar;
    mnuGerarNF = m_ui->mnuGerarNF;
    // The shortcuts belong to this screen, not to the whole host.
    for (QAction *action : {mnuFiltrar, mnuGerarNF}) {
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(action);
    }
    grbFormulario = m_ui->grbFormulario;
    edtSituacao = m_ui->edtSituacao;
    btpProduto = m_ui->btpProduto;
    panLegenda = m_ui->panLegenda;
    lblTotalMarcado = m_ui->lblTotalMarcado;
    lblLinhas = new QLabel(panLegenda);
    lblLinhas->setObjectName(QStringLiteral("lblLinhas"));
    m_legendTotals = std::make_unique<LegendTotals>(*panLegenda, *m_ui->scbFolhaDados, *lblLinhas, *lblTotalMarcado,
                                                    legendEnd());
    imgVerde = m_ui->imgVerde;
    imgVermelho = m_ui->imgVermelho;
    imgCinza = m_ui->imgCinza;
    imgAmarelo = m_ui->imgAmarelo;
    imgNoChecked = m_ui->imgNoChecked;
    imgUnchecked = m_ui->imgUnchecked;
    imgChecked = m_ui->imgChecked;
    for (QLabel *holder : {imgVerde, imgVermelho, imgCinza, imgAmarelo, imgNoChecked, imgUnchecked, imgChecked})
        holder->setVisible(false);
    sbtFiltrar->setIcon(StandardGlyphs::icon(StandardGlyphs::Glyph::Filter));
    sbtGerarNF->setIcon(StandardGlyphs::icon(StandardGlyphs::Glyph::Generate));

    msgPadrao->SetMessages({
        QStringLiteral("NF_Exist|Item marcado já possui Nota Fiscal."),
        QStringLiteral("Apur_Canc|Item marcado não pode gerar Nota Fiscal / Invoice porque a Apuração foi cancelada."),
        QStringLiteral("Apur_Inf|Apuração deve ser informada para gerar Nota(s) Fiscal(is) / Invoice(s)."),
        QStringLiteral("Ok|Nota(s) Fiscal(is) / Invoice(s) gerado(s) com sucesso!"),
        QStringLiteral("Inv_Exist|Item marcado já possui Invoice."),
    });

    netFaturamento = new TNetConnection(this);
    netFaturamento->setObjectName(QStringLiteral("netFaturamento"));
    netFaturamento->SetServerName(QStringLiteral("FAS09600.rdmFaturamento"));
    netFaturamento->SetHost(QStringLiteral("127.0.0.1"));
    // The connection reports every failure by throwing from the call.

    createDataSets();
    createQueries();
    dtsPadrao->SetDataSet(cdsFaturamento);
    setUpGridColumns();
    bindDetailPage();
    connectHandlers();
    setUpGridPainting();
    setUpConveniences();
    // The filter dialog hands its confirmed filters here.
    Cli_fas09601::previewLink().SetLoader(this, [this](const TFILTRO &filtro) { LoadPreview(filtro); });
}

TfrmFaturamento::~TfrmFaturamento() = default;

void TfrmFaturamento::createDataSets()
{
    const auto getText = [this](const TField &field, bool displayText) {
        return cdsFaturamentoIDAPURFATFASGetText(field, displayText);
    };
    cdsFaturamento = new TClientDataSet(this);
    cdsFaturamento->setObjectName(QStringLiteral("cdsFaturamento"));
    cdsFaturamento->SetFieldDefs(BillingItemLayout::faturamento());
    cdsNota = new TClientDataSet(this);
    cdsNota->setObjectName(QStringLiteral("cdsNota"));
    cdsNota->SetFieldDefs(BillingItemLayout::batch());
    cdsInv = new TClientDataSet(this);
    cdsInv->setObjectName(QStringLiteral("cdsInv"));
    cdsInv->SetFieldDefs(BillingItemLayout::batch());
    for (TClientDataSet *dataSet : {cdsFaturamento, cdsNota, cdsInv})
        dataSet->FieldByName(QStringLiteral("IDAPURFATFAS"))->SetOnGetText(getText);
}

void TfrmFaturamento::createQueries()
{
    qryNacionalidade = new TADOIBQuery(this);
    qryNacionalidade->setObjectName(QStringLiteral("qryNacionalidade"));
    qryNacionalidade->SQL = QStringList{
        QStringLiteral("SELECT"),
        QStringLiteral("   COUNT(1) AS CLINAC"),
        QStringLiteral("FROM"),
        QStringLiteral("   ENDECLIE"),
        QStringLiteral("WHERE"),
        QStringLiteral("   CDPAIS       = '0055' AND"),
        QStringLiteral("   CDCLIENTE    = :P_CDCLIENTE AND"),
        QStringLiteral("   IDTPENDECLIE = 'P'"),
    };
    qryNacionalidade->SQL_ORACLE = qryNacionalidade->SQL;
    qryNacionalidade->SQL_IB = qryNacionalidade->SQL;
    qryNacionalidade->SQL_IB[1] = QStringLiteral("   CAST(COUNT(1) AS FLOAT) AS CLINAC");
    TFieldDef clinac;
    clinac.name = QStringLiteral("CLINAC");
    clinac.type = TFieldType::Float;
    qryNacionalidade->SetFieldDefs({clinac});

    qryProduto = new TADOIBQuery(this);
    qryProduto->setObjectName(QStringLiteral("qryProduto"));
    qryProduto->SQL = QStringList{QStringLiteral("SELECT CDPRODUTO, NMPRODUTO"), QStringLiteral("FROM PRODUTO"),
                                  QStringLiteral("ORDER BY CDPRODUTO")};
    TFieldDef codigo;
    codigo.name = QStringLiteral("CDPRODUTO");
    codigo.size = 10;
    codigo.displayLabel = QStringLiteral("Código");
    TFieldDef nome;
    nome.name = QStringLiteral("NMPRODUTO");
    nome.size = 50;
    nome.displayLabel = QStringLiteral("Nome");
    qryProduto->SetFieldDefs({codigo, nome});
    dtsProduto = new TDataSource(this);
    dtsProduto->setObjectName(QStringLiteral("dtsProduto"));
    dtsProduto->SetDataSet(qryProduto);
    btpProduto->SetAssociatedControl(m_ui->dbeCdProduto);
    btpProduto->SetTitle(QStringLiteral("Produto"));
    btpProduto->SetEmptyListMessage(QStringLiteral("Não há produtos cadastros"));
    btpProduto->SetListSource(dtsProduto);

    if (TdtmDBGeral *module = dtmDBGeral()) {
        // Queries bind to the host's connection by name when the screen is made.
        qryNacionalidade->SetConnection(module->adcGeral);
        qryProduto->SetConnection(module->adcGeral);
    }
}

void TfrmFaturamento::setUpGridColumns()
{
    TColumn tick;
    tick.FieldName = QStringLiteral("IDCHECK");
    // A tick mark, as the symbol font's "4" shows it.
    tick.Title = QString(QChar(0x2713));
    tick.Width = 17;
    tick.HasTitleFont = true;
    tick.TitleFont = dbgPadrao->font();
    tick.TitleFont.setBold(false);
    const auto column = [](const char *field, const QString &title, int width) {
        TColumn c;
        c.FieldName = QString::fromLatin1(field);
        c.Title = title;
        c.Width = width;
        return c;
    };
    dbgPadrao->SetColumns({
        tick,
        column("IDSTAPFATFAS", QStringLiteral(" "), 18),
        column("NMFANTCLIE", QString(), 237),
        column("IDAPURFATFAS", QStringLiteral("Faturamento"), 90),
        column("DTAPURFATFAS", QString(), 93),
        column("MESAPURADO", QString(), -1),
        column("VRTOTAFATFAS", QStringLiteral("Valor Total"), 57),
        column("NRNOTAFISC", QString(), 75),
        column("NRINVOICE", QString(), 75),
        column("NMEMPRESA", QStringLiteral("Empresa Emitente"), 137),
    });
}

void TfrmFaturamento::bindDetailPage()
{
    const std::pair<TDBEdit *, const char *> edits[] = {
        {m_ui->dbeNmEmpresa, "NMEMPRESA"},   {m_ui->dbeCdProduto, "CDPRODUTO"},     {m_ui->dbeNmProduto, "NMPRODUTO"},
        {m_ui->dbeVrTotal, "VRTOTAFATFAS"},  {m_ui->dbeNrInvoice, "NRINVOICE"},     {m_ui->dbeNrLanctoNF, "NRNOTAFISC"},
        {m_ui->dbeNmCliente, "NMFANTCLIE"},  {m_ui->dbeNmTipoServ, "IDAPURFATFAS"}, {m_ui->dbeNrSoliServ, "NRSOLISERV"},
        {m_ui->dbeCdOperador, "CDOPERAPUR"}, {m_ui->dbeNmOperador, "NMOPERADOR"},
    };
    for (const auto &[edit, field] : edits) {
        edit->SetDataSource(dtsPadrao);
        edit->SetDataField(QString::fromLatin1(field));
    }
    m_ui->dbcComissao->SetItemValues({QStringLiteral("S"), QStringLiteral("N")});
    m_ui->dbcComissao->SetDataSource(dtsPadrao);
    m_ui->dbcComissao->SetDataField(QStringLiteral("IDCOMIFATFAS"));
    m_ui->dbmEmissNF->SetDataSource(dtsPadrao);
    m_ui->dbmEmissNF->SetDataField(QStringLiteral("DSEMISSPRONF"));
    m_ui->dbmDescBoleto->SetDataSource(dtsPadrao);
    m_ui->dbmDescBoleto->SetDataField(QStringLiteral("DSBOLEFATFAS"));
    dbtNome->SetDataField(QStringLiteral("NMFANTCLIE"));

    // Every detail control is read-only, on the button-face colour.
    const QList<QWidget *> controls = grbFormulario->findChildren<QWidget *>();
    for (QWidget *control : controls) {
        if (qobject_cast<QLabel *>(control))
            continue;
        QPalette palette = control->palette();
        palette.setColor(QPalette::Base, palette.color(QPalette::Button));
        control->setPalette(palette);
        control->setEnabled(false);
    }
}

void TfrmFaturamento::connectHandlers()
{
    connect(netFaturamento, &TNetConnection::BeforeConnect, this,
            [this](TNetConnection *sender) { netFaturamentoBeforeConnect(sender); });
    connect(sbtFiltrar, &QAbstractButton::clicked, this,
            EventGuard::wrap([this](bool) { sbtFiltrarClick(sbtFiltrar); }));
    connect(mnuFiltrar, &QAction::triggered, this, EventGuard::wrap([this](bool) { mnuFiltrarClick(mnuFiltrar); }));
    connect(sbtGerarNF, &QAbstractButton::clicked, this,
            EventGuard::wrap([this](bool) { sbtGerarNFClick(sbtGerarNF); }));
    connect(mnuGerarNF, &QAction::triggered, this, EventGuard::wrap([this](bool) { mnuGerarNFClick(mnuGerarNF); }));
    connect(cdsFaturamento, &TClientDataSet::AfterScroll, this,
            EventGuard::wrap([this](TClientDataSet *dataSet) { cdsFaturamentoAfterScroll(dataSet); }));
    connect(cdsFaturamento, &TClientDataSet::AfterOpen, this,
            EventGuard::wrap([this](TClientDataSet *dataSet) { cdsFaturamentoAfterOpen(dataSet); }));
    connect(cdsFaturamento, &TClientDataSet::controlsReset, this, [this] { showPendingSituation(); });
}

void TfrmFaturamento::setUpGridPainting()
{
    m_pictures = std::make_unique<FaturamentoPictures>();
    m_tickTotals = std::make_unique<TickTotals>();
    using Picture = FaturamentoPictures::Picture;
    const std::pair<QLabel *, Picture> holders[] = {
        {imgAmarelo, Picture::Amarelo},   {imgCinza, Picture::Cinza},         {imgVerde, Picture::Verde},
        {imgVermelho, Picture::Vermelho}, {imgNoChecked, Picture::NoChecked}, {imgUnchecked, Picture::Unchecked},
        {imgChecked, Picture::Checked},
    };
    for (const auto &[holder, picture] : holders)
        FaturamentoPictures::Show(holder, QPixmap::fromImage(m_pictures->Bitmap(picture)));
    // The legend shows the lamps without their olive background.
    const std::pair<QLabel *, Picture> legend[] = {
        {m_ui->imgLegendaAmarelo, Picture::Amarelo},
        {m_ui->imgLegendaCinza, Picture::Cinza},
        {m_ui->imgLegendaVermelho, Picture::Vermelho},
        {m_ui->imgLegendaVerde, Picture::Verde},
    };
    for (const auto &[label, picture] : legend)
        FaturamentoPictures::Show(label, m_pictures->Transparent(picture));

    dbgPadrao->OnDrawColumnCell = [this](TDBGrid *sender, TCanvas &canvas, const QRect &rect, int dataCol,
                                         const TColumn &column, TGridDrawState state) {
        dbgPadraoDrawColumnCell(sender, canvas, rect, dataCol, column, state);
    };
    dbgPadrao->OnCellClick = [this](const TColumn &column) { dbgPadraoCellClick(column); };
    dbgPadrao->OnTitleClick = [this](const TColumn &column) { dbgPadraoTitleClick(column); };
    // Closing the preview clears the ticked totals; opening counts them again
    // (cdsFaturamentoAfterOpen).
    connect(cdsFaturamento, &TClientDataSet::StateChange, this, [this] {
        if (!cdsFaturamento->Active() && m_tickTotals->Loaded()) {
            m_tickTotals->Recount(*cdsFaturamento);
            showTickTotals();
        }
    });
    showTickTotals();
}

void TfrmFaturamento::showTickTotals()
{
    lblTotalMarcado->setText(m_tickTotals->Text());
    // The rows' count and total stand just left of the ticked ones.
    lblLinhas->setText(m_tickTotals->RowsText());
    m_legendTotals->Place();
}

void TfrmFaturamento::FormCreate(QObject *sender)
{
    TfrmPadrao::FormCreate(sender);
    Showavi::ActiveShowAvi(Application().MainForm(), 1);
    const auto animationDown = qScopeGuard([] { Showavi::DeactiveShowAvi(); });
    netFaturamento->SetConnected(true);
}

void TfrmFaturamento::netFaturamentoBeforeConnect(QObject *sender)
{
    Q_UNUSED(sender);
    netFaturamento->SetHost(Korvane::WebURL());
    netFaturamento->SetPort(Korvane::WebPort());
}

void TfrmFaturamento::FormClose(QObject *sender, TCloseAction &action)
{
    TfrmPadrao::FormClose(sender, action);
    Cli_fas09600::boIdCriado = false;
    netFaturamento->SetConnected(false);
    runResultPanel->Clear();
    screenLayout->Save();
}

void TfrmFaturamento::sbtFiltrarClick(QObject *sender)
{
    Q_UNUSED(sender);
    SetActivePage(tshFolhaDados);
    Cli_fas09601::CriaFiltroFaturamento();
    dbgPadrao->setFocus();
}

void TfrmFaturamento::mnuFiltrarClick(QObject *sender)
{
    Q_UNUSED(sender);
    sbtFiltrarClick(sbtFiltrar);
}

void TfrmFaturamento::mnuGerarNFClick(QObject *sender)
{
    Q_UNUSED(sender);
    sbtGerarNFClick(sbtGerarNF);
}

void TfrmFaturamento::sbtGerarNFClick(QObject *sender)
{
    Q_UNUSED(sender);
    runResultPanel->BeginRun();
    runResultPanel->SetFilterText(filterText());
    const auto runOver = qScopeGuard([this] { runResultPanel->EndRun(); });
    if (pgcPadrao->currentWidget() == tshFormulario)
        SetActivePage(tshFolhaDados);
    GenerationRun run(
        *cdsFaturamento, {*cdsNota, *cdsInv}, [this](const QString &client) { return clientNationality(client); },
        *netFaturamento, *msgPadrao);
    // What the server made is listed also when a later step fails.
    auto listedAnyway = qScopeGuard([&] { runResultPanel->Show(run.Generated()); });
    const GenerationResult made = run.Run();
    listedAnyway.dismiss();
    runResultPanel->Show(made); // beside the "Ok" below
    cdsFaturamento->MergeChangeLog();
    dtsPadraoStateChange(dtsPadrao);
    sbtVerificarClick(sbtVerificar);
    msgPadrao->ShowMsg(QStringLiteral("Ok"), 0);
}

double TfrmFaturamento::clientNationality(const QString &client)
{
    qryNacionalidade->Close();
    qryNacionalidade->ParamByName(QStringLiteral("P_CDCLIENTE")).SetAsString(client);
    qryNacionalidade->Open();
    return qryNacionalidade->FieldByName(QStringLiteral("CLINAC"))->AsFloat();
}

void TfrmFaturamento::dtsPadraoStateChange(QObject *sender)
{
    TfrmPadrao::dtsPadraoStateChange(sender);
    for (TButtonFlat *button : {sbtIncluir, sbtExcluir, sbtAlterar, sbtConfirmar, sbtCancelar})
        button->setEnabled(false);
    sbtGerarNF->setEnabled(sbtVerificar->isEnabled());
    mnuIncluir->setEnabled(sbtIncluir->isEnabled());
    mnuExcluir->setEnabled(sbtExcluir->isEnabled());
    mnuAlterar->setEnabled(sbtAlterar->isEnabled());
    mnuConfirmar->setEnabled(sbtConfirmar->isEnabled());
    mnuCancelar->setEnabled(sbtCancelar->isEnabled());
    mnuGerarNF->setEnabled(sbtGerarNF->isEnabled());
}

void TfrmFaturamento::dbgPadraoKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift)
{
    TfrmPadrao::dbgPadraoKeyDown(sender, key, shift);
    // The space bar acts through the grid's first column, the tick column: Ctrl+Space
    // marks or unmarks all, Space toggles the current row. Only Ctrl counts; the
    // key goes on to the grid either way.
    if (key != Qt::Key_Space || dbgPadrao->Columns().isEmpty())
        return;
    const TColumn first = dbgPadrao->Columns().first();
    if (shift.testFlag(Qt::ControlModifier))
        dbgPadraoTitleClick(first);
    else
        dbgPadraoCellClick(first);
}

void TfrmFaturamento::dbgPadraoCellClick(const TColumn &column)
{
    if (cdsFaturamento->IsEmpty() || column.FieldName != QLatin1String("IDCHECK"))
        return;
    const TickCommands::TickChange change = TickCommands::ToggleCurrent(*cdsFaturamento);
    m_tickTotals->Changed(change.before, change.after, change.total);
    showTickTotals();
}

void TfrmFaturamento::dbgPadraoTitleClick(const TColumn &column)
{
    // The pass shows the hourglass while it runs and ends on the default cursor
    // (not on the one shown before), also when it fails part way.
    Screen::SetCursor(Screen::crHourGlass);
    const auto defaultCursor = qScopeGuard([] { Screen::SetCursor(Screen::crDefault); });
    if (column.FieldName != QLatin1String("IDCHECK"))
        return;
    // Also after a failure: the rows before it keep their new ticks; the toggle stays.
    const auto ticksCounted = qScopeGuard([this] {
        m_tickTotals->Recount(*cdsFaturamento);
        showTickTotals();
    });
    TickCommands::MarkAll(*cdsFaturamento, Cli_fas09600::boTodosServ);
    Cli_fas09600::boTodosServ = !Cli_fas09600::boTodosServ;
}

void TfrmFaturamento::dbgPadraoDrawColumnCell(TDBGrid *sender, TCanvas &canvas, const QRect &rect, int dataCol,
                                              const TColumn &column, TGridDrawState state)
{
    // The desktop's colours (docs/architecture.md), the same whether or not the
    // screen is the active window.
    const QPalette &palette = sender->palette();
    TField *field = sender->ColumnField(dataCol);

    canvas.BrushColor = palette.color(QPalette::Active, QPalette::ToolTipBase);
    canvas.FillRect(rect);
    if (state.Selected) {
        canvas.BrushColor = palette.color(QPalette::Active, QPalette::Highlight);
        canvas.FillRect(rect);
        canvas.FontColor = palette.color(QPalette::Active, QPalette::BrightText);
    }
    // Written as TextOut writes it; a text wider than the cell ends in "…" (its
    // tool tip shows it whole, CellToolTips).
    canvas.TextRect(rect, rect.left() + 2, rect.top() + 2, field ? field->DisplayText() : QString());
    if (state.Focused)
        canvas.DrawFocusRect(rect);

    const bool statusColumn = column.FieldName == QLatin1String("IDSTAPFATFAS");
    if (statusColumn || column.FieldName == QLatin1String("IDCHECK")) {
        // A null code reads as the empty text: a null tick shows the grey box.
        const QString value = field ? field->AsString() : QString();
        QImage bitmap;
        if (const QImage *picture = statusColumn ? m_pictures->ForStatus(value) : m_pictures->ForTick(value))
            bitmap = *picture;
        // Covers the code letter and the focus frame: picture cells show neither.
        canvas.FillRect(rect);
        canvas.BrushCopy(QRect(rect.left() + 1, rect.top(), bitmap.width(), rect.height()), bitmap,
                         QRect(0, 0, bitmap.width(), rect.height()), FaturamentoPictures::TransparentColor());
    }
    if (column.FieldName == QLatin1String("VRTOTAFATFAS"))
        sender->DefaultDrawDataCell(canvas, rect, sender->ColumnField(dataCol), state);
}

void TfrmFaturamento::sbtVerificarClick(QObject *sender)
{
    Q_UNUSED(sender);
    TfrmFiltroFaturamento *dialog = Cli_fas09601::frmFiltroFaturamento;
    if (!m_filter && !dialog)
        return; // no filter dialog yet: nothing to load
    // The dialog puts its controls and picked lists back from its stored
    // choices; before any filter came to the screen, those are its defaults.
    const std::optional<TFILTRO> stored = dialog ? std::optional(dialog->StoredFilter()) : std::nullopt;
    LoadPreview(m_filter ? *m_filter : *stored);
}

void TfrmFaturamento::LoadPreview(const TFILTRO &filtro)
{
    m_filter = filtro;
    const PreviewRequest request = PreviewRequest::FromFilter(filtro);
    Showavi::ActiveShowAvi(Application().MainForm(), 1);
    const auto animationDown = qScopeGuard([] { Showavi::DeactiveShowAvi(); });
    edtSituacao->clear();
    cdsFaturamento->SetData(Consiste::CheckResultServ(CallGetFaturamento(request), true, 0));
}

// The preview's filter as a printed result states it: the period, the companies
// and the clients ("todas", "todos" when not picked).
QString TfrmFaturamento::filterText() const
{
    if (!m_filter)
        return {};
    const PreviewRequest request = PreviewRequest::FromFilter(*m_filter);
    const auto codes = [](const QString &list, const QString &all, const QString &everyone) {
        const QStringList picked = QString(list).split(u'_', Qt::SkipEmptyParts);
        return all == u"T" || picked.isEmpty() ? everyone : picked.join(QStringLiteral(", "));
    };
    return QStringLiteral("Período de apuração: %1 a %2; empresas: %3; clientes: %4")
        .arg(request.dtIniApu.date().toString(QStringLiteral("dd/MM/yyyy")),
             request.dtFinApu.date().toString(QStringLiteral("dd/MM/yyyy")),
             codes(request.stListaEmpresa, request.stTodosEmpresa, QStringLiteral("todas")),
             codes(request.stListaCliente, request.stTodosCliente, QStringLiteral("todos")));
}

// The load's call: the animation counts the rows as they arrive and offers
// "Cancelar" (Escape too); a stopped load ends quietly, the rows as they were.
TRemoteValue TfrmFaturamento::CallGetFaturamento(const PreviewRequest &request)
{
    Showavi::OfferCancel([net = QPointer<TNetConnection>(netFaturamento)] {
        if (net)
            net->Cancel();
    });
    const QMetaObject::Connection progress = connect(netFaturamento, &TNetConnection::ReceivingRows, this,
                                                     [](int rows) { Showavi::ShowReceivedRows(rows); });
    const auto progressOff = qScopeGuard([progress] { disconnect(progress); });
    try {
        return ServerRefusals::InClerkWords([&] {
            return netFaturamento->Call(QStringLiteral("GetFaturamento"), request.Arguments(),
                                        TNetConnection::CallKind::UserMayCancel);
        });
    } catch (const RemoteCallError &error) {
        if (error.reason() == RemoteCallError::Reason::Cancelled)
            throw SilentAbort();
        throw;
    }
}

void TfrmFaturamento::cdsFaturamentoAfterScroll(TClientDataSet *dataSet)
{
    Q_UNUSED(dataSet);
    // While the preview's controls are suspended (a pass over every row) nothing
    // is painted, so only the text of the last row arrived at can ever be seen:
    // it is made and shown when the controls resume, as every bound control is.
    if (cdsFaturamento->ControlsDisabled()) {
        m_situationPending = true;
        return;
    }
    showSituation();
}

void TfrmFaturamento::showSituation()
{
    edtSituacao->setText(
        BillingCodes::situationText(cdsFaturamento->FieldByName(QStringLiteral("IDSTAPFATFAS"))->AsString()));
}

void TfrmFaturamento::showPendingSituation()
{
    if (!m_situationPending)
        return;
    m_situationPending = false;
    if (cdsFaturamento->Active())
        showSituation();
}

void TfrmFaturamento::cdsFaturamentoAfterOpen(TClientDataSet *dataSet)
{
    Q_UNUSED(dataSet);
    Cli_fas09600::boTodosServ = false;
    m_tickTotals->Recount(*cdsFaturamento);
    showTickTotals();
    fitTotalColumn();
}

void TfrmFaturamento::fitLegend()
{
    // The legend keeps its designed positions; where a caption needs more room
    // in the running desktop's font than the design gave it, the items after
    // it move right instead of the caption being cut.
    QList<QWidget *> items = m_ui->panLegenda->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    items.removeOne(m_ui->lblTotalMarcado);
    std::sort(items.begin(), items.end(), [](QWidget *a, QWidget *b) { return a->x() < b->x(); });
    int nextFree = 0;
    for (QWidget *item : std::as_const(items)) {
        if (auto *caption = qobject_cast<QLabel *>(item); caption && caption->pixmap().isNull())
            caption->resize(std::max(caption->width(), caption->sizeHint().width()), caption->height());
        item->move(std::max(item->x(), nextFree), item->y());
        nextFree = item->geometry().right() + 3;
    }
}

int TfrmFaturamento::legendEnd() const
{
    int end = 0;
    for (QWidget *item : m_ui->panLegenda->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (item != lblTotalMarcado && item != lblLinhas)
            end = std::max(end, item->geometry().right() + 1);
    }
    return end;
}

void TfrmFaturamento::fitTotalColumn()
{
    // A total cut on its left would read as another number: the column widens
    // to the widest total of the preview when its designed width is too small.
    // A width the user gave the column (dragged, or kept from an earlier session)
    // is the user's and stays.
    constexpr int totalColumn = 6;
    constexpr int designedWidth = 57;
    const int current = dbgPadrao->columnWidth(totalColumn);
    if (current != designedWidth && current != m_fittedTotalWidth)
        return;
    const TRecordStore &rows = cdsFaturamento->Store();
    const int field = rows.indexOf(QStringLiteral("VRTOTAFATFAS"));
    if (field < 0)
        return;
    double widest = 0;
    for (int row = 0; row < rows.rowCount(); ++row)
        widest = std::max(widest, std::abs(rows.number(row, field)));
    const QString text = FormatSettings::formatFloat(-widest, QStringLiteral("#,##0.00"));
    const int needed = dbgPadrao->fontMetrics().horizontalAdvance(text) + 6;
    m_fittedTotalWidth = std::max(designedWidth, needed);
    dbgPadrao->setColumnWidth(totalColumn, m_fittedTotalWidth);
}

QString TfrmFaturamento::cdsFaturamentoIDAPURFATFASGetText(const TField &sender, bool displayText) const
{
    Q_UNUSED(displayText);
    return BillingCodes::serviceTypeText(sender.AsString());
}

void TfrmFaturamento::setUpConveniences()
{
    m_calculationDate = new CalculationDateColumn(dbgPadrao, cdsFaturamento);
    new CellToolTips(dbgPadrao);
    dbgPadrao->SetEmptyText(QStringLiteral("Nenhuma apuração para este filtro."));
    findBar = new FindBar(dbgPadrao, this);
    connect(sbtProcurar, &QAbstractButton::clicked, findBar, [this] { findBar->Open(); });
    runResultPanel = new RunResultPanel(this);
    addDockWidget(Qt::BottomDockWidgetArea, runResultPanel);
    runResultPanel->hide();
    runResultPanel->SetInvoiceSource([this](const QString &companyCode, const QString &number) {
        Showavi::ActiveShowAvi(Application().MainForm(), 1);
        const auto animationDown = qScopeGuard([] { Showavi::DeactiveShowAvi(); });
        if (!netFaturamento->Connected())
            netFaturamento->Open();
        return Consiste::CheckResultServ(ServerRefusals::InClerkWords([&] {
                                             return netFaturamento->Call(
                                                 QStringLiteral("GetFaturaDocumento"),
                                                 {RemoteArgument::text(companyCode), RemoteArgument::text(number)});
                                         }),
                                         true, 0);
    });
    connect(cdsFaturamento, &TClientDataSet::AfterOpen, runResultPanel, [this] { runResultPanel->PreviewLoaded(); });
    previewActions = new PreviewActions({this, mnuOperacao, dbgPadrao, sbtVerificar, [this] {
                                             // The history's reversals show in this preview's result panel.
                                             if (const auto &open = Cli_fas09600::historyOpener())
                                                 open(*runResultPanel);
                                         }});
    previewSorting = new PreviewSorting(dbgPadrao, cdsFaturamento);
    screenLayout = new ScreenLayout(this, dbgPadrao, previewSorting);
    connect(previewActions->mnuRestaurarLayout, &QAction::triggered, this, [this] {
        screenLayout->RestoreDesigned();
        fitTotalColumn();
    });
}
