#include "Cli_fas09602/TfrmHistorico.h"

#include "documents/InvoiceFromPacket.h"
#include "outside/forms/InvoiceSaving.h"

#include <QAction>
#include <QFileDialog>
#include <QMessageBox>
#include <QApplication>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QScopeGuard>

#include "outside/forms/ExportDialog.h"
#include "outside/services/ServerRefusals.h"
#include "Cli_fas09602/HistoryColumns.h"
#include "Cli_fas09602/HistoryReversal.h"
#include "ui_frmHistorico.h"
#include "outside/data/CompanyQuery.h"
#include "outside/controls/TBtnPesquisa.h"
#include "outside/controls/TButtonFlat.h"
#include "outside/controls/TDateEditPlus.h"
#include "outside/data/TADOIBQuery.h"
#include "outside/forms/StandardGlyphs.h"
#include "outside/forms/TablePrint.h"
#include "outside/forms/TApplication.h"
#include "outside/net/SessionUser.h"
#include "outside/net/TNetConnection.h"
#include "outside/services/Consiste.h"
#include "outside/services/Korvane.h"
#include "outside/services/Pesqlista.h"
#include "outside/services/Showavi.h"
#include "platform/data/TClientDataSet.h"
#include "platform/data/TRecordStore.h"
#include "platform/ui/EventGuard.h"
#include "platform/ui/GridCells.h"
#include "platform/ui/TDBGrid.h"
#include "platform/ui/TDataSource.h"

namespace {

QPointer<TfrmHistorico> openScreen;

} // namespace

TfrmHistorico::TfrmHistorico(QWidget *parent)
    : QMainWindow(parent)
    , m_ui(std::make_unique<Ui::frmHistorico>())
{
    m_ui->setupUi(this);
    takeDesign();
    setUpCommands();
    setUpFilterRow();
    setUpGrids();
    createCompanyQuery();
    netHistorico = new TNetConnection(this);
    netHistorico->setObjectName(QStringLiteral("netHistorico"));
    reversal = new HistoryReversal(
        {this, cdsGeracoes, cdsLancamentos,
         [this](const QString &method, const QList<RemoteArgument> &args) { return Chama(method, args); },
         [this] { Pesquisar(); }});
    connectHandlers();
    AtualizaComandos();
}

TfrmHistorico::~TfrmHistorico() = default;

TfrmHistorico *TfrmHistorico::Aberto()
{
    return openScreen;
}

TfrmHistorico *TfrmHistorico::Abre()
{
    if (openScreen) {
        openScreen->showAsMdiChild();
        return openScreen;
    }
    openScreen = new TfrmHistorico;
    Application().RegisterForm(openScreen);
    openScreen->showAsMdiChild();
    openScreen->dbgGeracoes->setFocus();
    openScreen->Pesquisar();
    return openScreen;
}

void TfrmHistorico::showAsMdiChild()
{
    QMdiArea *area = Application().MdiArea();
    if (!area) {
        show();
        raise();
        return;
    }
    if (!m_frame) {
        m_frame = area->addSubWindow(this);
        m_frame->setAttribute(Qt::WA_DeleteOnClose);
        m_frame->resize(960, 540);
        m_frame->move(40, 40);
    }
    m_frame->showNormal();
    m_frame->raise();
    area->setActiveSubWindow(m_frame);
}

void TfrmHistorico::Fechar()
{
    if (m_frame)
        m_frame->close();
    else
        close();
}

void TfrmHistorico::takeDesign()
{
    depDtInicio = m_ui->depDtInicio;
    depDtFim = m_ui->depDtFim;
    edtUsuario = m_ui->edtUsuario;
    edtEmpresa = m_ui->edtEmpresa;
    btpEmpresa = m_ui->btpEmpresa;
    sbtPesquisar = m_ui->sbtPesquisar;
    sbtEstornarGeracao = m_ui->sbtEstornarGeracao;
    sbtEstornarLancamento = m_ui->sbtEstornarLancamento;
    sbtExportar = m_ui->sbtExportar;
    sbtFechar = m_ui->sbtFechar;
    mnuOperacao = m_ui->mnuOperacao;
    mnuPesquisar = m_ui->mnuPesquisar;
    mnuEstornarGeracao = m_ui->mnuEstornarGeracao;
    mnuEstornarLancamento = m_ui->mnuEstornarLancamento;
    mnuImprimir = m_ui->mnuImprimir;
    mnuSalvarPdf = m_ui->mnuSalvarPdf;
    mnuExportar = m_ui->mnuExportar;
    mnuSalvarFatura = m_ui->mnuSalvarFatura;
    mnuFechar = m_ui->mnuFechar;
    dbgGeracoes = m_ui->dbgGeracoes;
    dbgLancamentos = m_ui->dbgLancamentos;
}

void TfrmHistorico::setUpCommands()
{
    using Glyph = StandardGlyphs::Glyph;
    sbtPesquisar->setIcon(StandardGlyphs::icon(Glyph::Verify));
    sbtEstornarGeracao->setIcon(StandardGlyphs::icon(Glyph::Cancel));
    sbtEstornarLancamento->setIcon(StandardGlyphs::icon(Glyph::Delete));
    sbtExportar->setIcon(StandardGlyphs::icon(Glyph::Print));
    sbtFechar->setIcon(StandardGlyphs::icon(Glyph::Close));
    // Their keys work anywhere in the screen, not only from the menu.
    for (QAction *action : {mnuPesquisar, mnuImprimir, mnuExportar})
        addAction(action);
}

void TfrmHistorico::setUpFilterRow()
{
    const QDate today = QDate::currentDate();
    const QDate first(today.year(), today.month(), 1);
    depDtInicio->SetDate(first);
    depDtFim->SetDate(first.addMonths(1).addDays(-1));
}

void TfrmHistorico::setUpGrids()
{
    cdsGeracoes = new TClientDataSet(this);
    cdsGeracoes->setObjectName(QStringLiteral("cdsGeracoes"));
    cdsLancamentos = new TClientDataSet(this);
    cdsLancamentos->setObjectName(QStringLiteral("cdsLancamentos"));
    dtsGeracoes = new TDataSource(this);
    dtsGeracoes->SetDataSet(cdsGeracoes);
    dtsLancamentos = new TDataSource(this);
    dtsLancamentos->SetDataSet(cdsLancamentos);
    HistoryColumns::SetUpRuns(*cdsGeracoes, *dbgGeracoes);
    HistoryColumns::SetUpEntries(*cdsLancamentos, *dbgLancamentos);
    dbgGeracoes->SetDataSource(dtsGeracoes);
    dbgLancamentos->SetDataSource(dtsLancamentos);
    m_lastGrid = dbgGeracoes;
}

void TfrmHistorico::createCompanyQuery()
{
    qryEmpresa = CompanyQuery::Create(this);
    dtsEmpresa = new TDataSource(this);
    dtsEmpresa->SetDataSet(qryEmpresa);
    btpEmpresa->SetAssociatedControl(edtEmpresa);
    btpEmpresa->SetTitle(QStringLiteral("Empresa"));
    btpEmpresa->SetEmptyListMessage(QStringLiteral("Não há empresa cadastrada."));
    btpEmpresa->SetListSource(dtsEmpresa);
}

void TfrmHistorico::connectHandlers()
{
    const auto guarded = [this](auto *sender, auto signal, void (TfrmHistorico::*handler)()) {
        connect(sender, signal, this, EventGuard::wrap([this, handler](auto &&...) { (this->*handler)(); }));
    };
    guarded(sbtPesquisar, &QAbstractButton::clicked, &TfrmHistorico::Pesquisar);
    guarded(mnuPesquisar, &QAction::triggered, &TfrmHistorico::Pesquisar);
    guarded(sbtExportar, &QAbstractButton::clicked, &TfrmHistorico::Exportar);
    guarded(mnuExportar, &QAction::triggered, &TfrmHistorico::Exportar);
    guarded(mnuSalvarFatura, &QAction::triggered, &TfrmHistorico::SalvarFatura);
    guarded(mnuImprimir, &QAction::triggered, &TfrmHistorico::Imprimir);
    guarded(mnuSalvarPdf, &QAction::triggered, &TfrmHistorico::SalvarPdf);
    guarded(sbtFechar, &QAbstractButton::clicked, &TfrmHistorico::Fechar);
    guarded(mnuFechar, &QAction::triggered, &TfrmHistorico::Fechar);
    guarded(btpEmpresa, &QAbstractButton::clicked, &TfrmHistorico::pickCompany);
    const auto reverse = [this](auto *sender, auto signal, void (HistoryReversal::*command)()) {
        connect(sender, signal, reversal, EventGuard::wrap([this, command](auto &&...) { (reversal->*command)(); }));
    };
    reverse(sbtEstornarGeracao, &QAbstractButton::clicked, &HistoryReversal::EstornaGeracao);
    reverse(mnuEstornarGeracao, &QAction::triggered, &HistoryReversal::EstornaGeracao);
    reverse(sbtEstornarLancamento, &QAbstractButton::clicked, &HistoryReversal::EstornaLancamento);
    reverse(mnuEstornarLancamento, &QAction::triggered, &HistoryReversal::EstornaLancamento);
    guarded(cdsGeracoes, &TClientDataSet::AfterScroll, &TfrmHistorico::CarregaLancamentos);
    guarded(cdsGeracoes, &TClientDataSet::StateChange, &TfrmHistorico::AtualizaComandos);
    guarded(cdsLancamentos, &TClientDataSet::StateChange, &TfrmHistorico::AtualizaComandos);
    guarded(cdsLancamentos, &TClientDataSet::AfterScroll, &TfrmHistorico::AtualizaComandos);
    guarded(&SessionUser::instance(), &SessionUser::changed, &TfrmHistorico::AtualizaComandos);
    connect(netHistorico, &TNetConnection::BeforeConnect, this, [](TNetConnection *sender) {
        sender->SetHost(Korvane::WebURL());
        sender->SetPort(Korvane::WebPort());
    });
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        if (now == dbgGeracoes || now == dbgLancamentos)
            m_lastGrid = static_cast<TDBGrid *>(now);
    });
}

void TfrmHistorico::pickCompany()
{
    qryEmpresa->Close();
    qryEmpresa->Open();
    QString picked = edtEmpresa->text().trimmed().isEmpty() ? QString() : Pesqlista::WriteList({edtEmpresa->text()});
    Pesqlista::PesquisaLista(dtsEmpresa, QStringLiteral("CDEMPRESA"),
                             QStringLiteral("Empresa|Não há empresa cadastrada."), true, picked);
    const QStringList keys = Pesqlista::ParseList(picked);
    edtEmpresa->setText(keys.isEmpty() ? QString() : keys.first());
}

QList<RemoteArgument> TfrmHistorico::filterArguments() const
{
    depDtInicio->CheckValidDate();
    depDtFim->CheckValidDate();
    return {RemoteArgument::date(depDtInicio->GetDate()), RemoteArgument::date(depDtFim->GetDate()),
            RemoteArgument::text(edtUsuario->text().trimmed()), RemoteArgument::text(edtEmpresa->text().trimmed())};
}

TDataPacket TfrmHistorico::Chama(const QString &method, const QList<RemoteArgument> &args)
{
    Showavi::ActiveShowAvi(Application().MainForm(), 1);
    const auto animationDown = qScopeGuard([] { Showavi::DeactiveShowAvi(); });
    if (!netHistorico->Connected())
        netHistorico->Open();
    return Consiste::CheckResultServ(ServerRefusals::InClerkWords([&] { return netHistorico->Call(method, args); }),
                                     true, 0);
}

void TfrmHistorico::Pesquisar()
{
    // A refused search (a date the server does not take) leaves both grids as they were.
    const TDataPacket runs = Chama(QStringLiteral("GetGeracoes"), filterArguments());
    m_searchedFor = QStringLiteral("Período: %1 a %2; usuário: %3; empresa: %4")
                        .arg(depDtInicio->GetDate().toString(QStringLiteral("dd/MM/yyyy")),
                             depDtFim->GetDate().toString(QStringLiteral("dd/MM/yyyy")),
                             edtUsuario->text().trimmed().isEmpty() ? QStringLiteral("todos") : edtUsuario->text().trimmed(),
                             edtEmpresa->text().trimmed().isEmpty() ? QStringLiteral("todas") : edtEmpresa->text().trimmed());
    cdsLancamentos->Close();
    cdsGeracoes->SetData(runs); // its first row's entries follow (CarregaLancamentos)
    AtualizaComandos();
}

void TfrmHistorico::CarregaLancamentos()
{
    if (!cdsGeracoes->Active() || cdsGeracoes->IsEmpty()) {
        cdsLancamentos->Close();
        AtualizaComandos();
        return;
    }
    const QString run = cdsGeracoes->FieldByName(QStringLiteral("IDGERACAO"))->AsString();
    cdsLancamentos->SetData(Chama(QStringLiteral("GetLancamentosGeracao"), {RemoteArgument::text(run)}));
    AtualizaComandos();
}

const TDBGrid &TfrmHistorico::exportedGrid() const
{
    return m_lastGrid ? *m_lastGrid : *dbgGeracoes;
}

void TfrmHistorico::Exportar()
{
    const TDBGrid *grid = &exportedGrid();
    ExportDialog::Run(this, false, [grid](bool) {
        return std::unique_ptr<ExportTable>(new GridCells(*grid));
    });
}

TableHeading TfrmHistorico::printHeading() const
{
    TableHeading heading;
    heading.title = QStringLiteral("Histórico de gerações — gerações");
    heading.filter = m_searchedFor;
    if (&exportedGrid() == dbgLancamentos) {
        heading.title = QStringLiteral("Histórico de gerações — lançamentos da geração %1")
                            .arg(cdsGeracoes->FieldByName(QStringLiteral("IDGERACAO"))->AsString());
    }
    return heading;
}

void TfrmHistorico::Imprimir()
{
    TablePrint::Print(this, GridCells(exportedGrid()), printHeading());
}

void TfrmHistorico::SalvarPdf()
{
    const bool entries = &exportedGrid() == dbgLancamentos;
    TablePrint::SaveAsPdf(this, GridCells(exportedGrid()), printHeading(),
                          entries ? QStringLiteral("historico-lancamentos.pdf") : QStringLiteral("historico-geracoes.pdf"));
}

void TfrmHistorico::AtualizaComandos()
{
    const bool mayReverse = SessionUser::instance().mayAtLeast(QStringLiteral("supervisor"));
    const bool hasRun = cdsGeracoes->Active() && !cdsGeracoes->IsEmpty();
    const bool hasEntry = cdsLancamentos->Active() && !cdsLancamentos->IsEmpty();
    // Offered only where the server would reverse: a generation that went
    // through with a live entry, a live entry of such a generation.
    const bool generationMade = hasRun && cdsGeracoes->FieldByName(QStringLiteral("CDERRO"))->IsNull()
                                && QStringList({QStringLiteral("GeraNF"), QStringLiteral("GeraInvoice")})
                                       .contains(cdsGeracoes->FieldByName(QStringLiteral("NMMETODO"))->AsString());
    const bool entryLive = hasEntry && cdsLancamentos->FieldByName(QStringLiteral("IDSITUACAO"))->AsString() == u"A";
    sbtEstornarGeracao->setEnabled(mayReverse && generationMade && hasLiveEntry());
    mnuEstornarGeracao->setEnabled(sbtEstornarGeracao->isEnabled());
    sbtEstornarLancamento->setEnabled(mayReverse && generationMade && entryLive);
    mnuEstornarLancamento->setEnabled(sbtEstornarLancamento->isEnabled());
    sbtExportar->setEnabled(hasRun);
    mnuExportar->setEnabled(hasRun);
    mnuImprimir->setEnabled(hasRun);
    mnuSalvarPdf->setEnabled(hasRun);
    mnuSalvarFatura->setEnabled(hasEntry
                                && cdsLancamentos->FieldByName(QStringLiteral("IDTPLANCFAT"))->AsString() == u"I");
}

void TfrmHistorico::SalvarFatura()
{
    const QString company = cdsLancamentos->FieldByName(QStringLiteral("CDEMPRESA"))->AsString();
    const QString number = cdsLancamentos->FieldByName(QStringLiteral("NRLANCFAT"))->AsString();
    const InvoiceDocument invoice = InvoiceFromPacket::read(
        Chama(QStringLiteral("GetFaturaDocumento"), {RemoteArgument::text(company), RemoteArgument::text(number)}));
    InvoiceSaving::askAndSave(this, invoice);
}

bool TfrmHistorico::hasLiveEntry() const
{
    if (!cdsLancamentos->Active())
        return false;
    const TRecordStore &entries = cdsLancamentos->Store();
    const int state = entries.indexOf(QStringLiteral("IDSITUACAO"));
    for (int row = 0; state >= 0 && row < entries.rowCount(); ++row) {
        if (entries.text(row, state) == "A")
            return true;
    }
    return false;
}
