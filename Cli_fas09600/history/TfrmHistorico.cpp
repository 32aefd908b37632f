#include "Cli_fas09600/history/TfrmHistorico.h"

#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScopeGuard>
#include <QSplitter>
#include <QVBoxLayout>

#include "Cli_fas09600/ExportDialog.h"
#include "Cli_fas09600/PreviewCells.h"
#include "Cli_fas09600/ServerRefusals.h"
#include "Cli_fas09600/history/HistoryColumns.h"
#include "Cli_fas09600/history/HistoryReversal.h"
#include "Cli_fas09601/CompanyQuery.h"
#include "outside/controls/TBtnPesquisa.h"
#include "outside/controls/TButtonFlat.h"
#include "outside/controls/TDateEditPlus.h"
#include "outside/data/TADOIBQuery.h"
#include "outside/forms/StandardGlyphs.h"
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
#include "platform/ui/TDBGrid.h"
#include "platform/ui/TDataSource.h"

namespace {

QPointer<TfrmHistorico> openScreen;

TButtonFlat *commandButton(QWidget *parent, const char *name, StandardGlyphs::Glyph glyph, const QString &text)
{
    auto *button = new TButtonFlat(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setIcon(StandardGlyphs::icon(glyph));
    button->setText(text);
    button->setToolTip(text);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    return button;
}

QAction *menuEntry(QMenu *menu, const char *name, const QString &text, const QKeySequence &keys = {})
{
    QAction *action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(keys);
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    return action;
}

} // namespace

TfrmHistorico::TfrmHistorico(QWidget *parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmHistorico"));
    setWindowTitle(QStringLiteral("Histórico de gerações (NF/INVOICE)"));
    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    createCommands(layout);
    createFilterRow(layout);
    createGrids(layout);
    setCentralWidget(central);
    createMenu();
    createCompanyQuery();
    netHistorico = new TNetConnection(this);
    netHistorico->setObjectName(QStringLiteral("netHistorico"));
    reversal = new HistoryReversal(this);
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

void TfrmHistorico::createCommands(QVBoxLayout *layout)
{
    using Glyph = StandardGlyphs::Glyph;
    sbtPesquisar = commandButton(this, "sbtPesquisar", Glyph::Verify, QStringLiteral("Pesquisar"));
    sbtEstornarGeracao = commandButton(this, "sbtEstornarGeracao", Glyph::Cancel, QStringLiteral("Estornar geração…"));
    sbtEstornarLancamento = commandButton(this, "sbtEstornarLancamento", Glyph::Delete,
                                          QStringLiteral("Estornar lançamento…"));
    sbtExportar = commandButton(this, "sbtExportar", Glyph::Print, QStringLiteral("Exportar…"));
    sbtFechar = commandButton(this, "sbtFechar", Glyph::Close, QStringLiteral("Fechar"));
    auto *row = new QHBoxLayout;
    for (TButtonFlat *button : {sbtPesquisar, sbtEstornarGeracao, sbtEstornarLancamento, sbtExportar})
        row->addWidget(button);
    row->addStretch();
    row->addWidget(sbtFechar);
    layout->addLayout(row);
}

void TfrmHistorico::createFilterRow(QVBoxLayout *layout)
{
    depDtInicio = new TDateEditPlus(this);
    depDtInicio->setObjectName(QStringLiteral("depDtInicio"));
    depDtFim = new TDateEditPlus(this);
    depDtFim->setObjectName(QStringLiteral("depDtFim"));
    const QDate today = QDate::currentDate();
    const QDate first(today.year(), today.month(), 1);
    depDtInicio->SetDate(first);
    depDtFim->SetDate(first.addMonths(1).addDays(-1));
    edtUsuario = new QLineEdit(this);
    edtUsuario->setObjectName(QStringLiteral("edtUsuario"));
    edtUsuario->setMaxLength(40);
    edtUsuario->setPlaceholderText(QStringLiteral("todos"));
    edtEmpresa = new QLineEdit(this);
    edtEmpresa->setObjectName(QStringLiteral("edtEmpresa"));
    edtEmpresa->setMaxLength(2);
    edtEmpresa->setPlaceholderText(QStringLiteral("todas"));
    edtEmpresa->setMaximumWidth(60);
    btpEmpresa = new TBtnPesquisa(this);
    btpEmpresa->setObjectName(QStringLiteral("btpEmpresa"));
    btpEmpresa->setToolTip(QStringLiteral("Pesquisar"));

    auto *row = new QHBoxLayout;
    const auto label = [this, row](const QString &text, QWidget *buddy) {
        auto *caption = new QLabel(text, this);
        caption->setBuddy(buddy);
        row->addWidget(caption);
        row->addWidget(buddy);
    };
    label(QStringLiteral("&Período:"), depDtInicio);
    label(QStringLiteral("&a"), depDtFim);
    label(QStringLiteral("&Usuário:"), edtUsuario);
    label(QStringLiteral("E&mpresa:"), edtEmpresa);
    row->addWidget(btpEmpresa);
    row->addStretch();
    layout->addLayout(row);
}

void TfrmHistorico::createGrids(QVBoxLayout *layout)
{
    cdsGeracoes = new TClientDataSet(this);
    cdsGeracoes->setObjectName(QStringLiteral("cdsGeracoes"));
    cdsLancamentos = new TClientDataSet(this);
    cdsLancamentos->setObjectName(QStringLiteral("cdsLancamentos"));
    dtsGeracoes = new TDataSource(this);
    dtsGeracoes->SetDataSet(cdsGeracoes);
    dtsLancamentos = new TDataSource(this);
    dtsLancamentos->SetDataSet(cdsLancamentos);
    auto *split = new QSplitter(Qt::Vertical, this);
    dbgGeracoes = new TDBGrid(split);
    dbgGeracoes->setObjectName(QStringLiteral("dbgGeracoes"));
    dbgLancamentos = new TDBGrid(split);
    dbgLancamentos->setObjectName(QStringLiteral("dbgLancamentos"));
    HistoryColumns::SetUpRuns(*cdsGeracoes, *dbgGeracoes);
    HistoryColumns::SetUpEntries(*cdsLancamentos, *dbgLancamentos);
    dbgGeracoes->SetDataSource(dtsGeracoes);
    dbgLancamentos->SetDataSource(dtsLancamentos);
    layout->addWidget(split, 1);
    m_lastGrid = dbgGeracoes;
}

void TfrmHistorico::createMenu()
{
    mnuOperacao = menuBar()->addMenu(QStringLiteral("&Operação"));
    mnuOperacao->setObjectName(QStringLiteral("mnuOperacao"));
    mnuPesquisar = menuEntry(mnuOperacao, "mnuPesquisar", QStringLiteral("Pesquisar"), Qt::Key_F5);
    mnuOperacao->addSeparator();
    mnuEstornarGeracao = menuEntry(mnuOperacao, "mnuEstornarGeracao", QStringLiteral("Estornar geração…"));
    mnuEstornarLancamento = menuEntry(mnuOperacao, "mnuEstornarLancamento", QStringLiteral("Estornar lançamento…"));
    mnuOperacao->addSeparator();
    mnuExportar = menuEntry(mnuOperacao, "mnuExportar", QStringLiteral("Exportar…"),
                            QKeySequence(Qt::CTRL | Qt::Key_E));
    mnuOperacao->addSeparator();
    mnuFechar = menuEntry(mnuOperacao, "mnuFechar", QStringLiteral("Fechar"));
    for (QAction *action : {mnuPesquisar, mnuExportar})
        addAction(action);
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
    guarded(sbtFechar, &QAbstractButton::clicked, &TfrmHistorico::Fechar);
    guarded(mnuFechar, &QAction::triggered, &TfrmHistorico::Fechar);
    guarded(btpEmpresa, &QAbstractButton::clicked, &TfrmHistorico::pickCompany);
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

void TfrmHistorico::Exportar()
{
    const TDBGrid *grid = m_lastGrid ? m_lastGrid.data() : dbgGeracoes;
    ExportDialog::Run(this, false, [grid](bool) {
        return std::unique_ptr<ExportTable>(new PreviewCells(*grid, PreviewCells::Rows::All));
    });
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
