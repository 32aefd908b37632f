#include "outside/forms/TfrmPadrao.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTabWidget>

#include "outside/forms/DesignComponents.h"
#include "platform/ui/EventGuard.h"
#include "platform/data/FasError.h"
#include "outside/forms/StandardGlyphs.h"
#include "outside/forms/TApplication.h"
#include "outside/controls/TButtonFlat.h"
#include "platform/ui/TDBControls.h"
#include "platform/ui/TDBGrid.h"
#include "platform/ui/TDataSource.h"
#include "outside/services/TMessages.h"

TfrmPadrao::TfrmPadrao(QWidget *parent)
    : QMainWindow(parent)
{
    dtsPadrao = new TDataSource(this);
    dtsPadrao->setObjectName(QStringLiteral("dtsPadrao"));
    msgPadrao = new TMessages(this);
    msgPadrao->setObjectName(QStringLiteral("msgPadrao"));
}

TfrmPadrao::~TfrmPadrao() = default;

void TfrmPadrao::BindDesign()
{
    // A screen binds in its constructor and FormCreate binds again: the handlers
    // are wired once, or a click would run its handler twice.
    if (m_designBound)
        return;
    pgcPadrao = DesignComponent<QTabWidget>(this, "pgcPadrao");
    tshFolhaDados = DesignComponent<QWidget>(this, "tshFolhaDados");
    tshFormulario = DesignComponent<QWidget>(this, "tshFormulario");
    dbgPadrao = DesignComponent<TDBGrid>(this, "dbgPadrao");
    panMenu = DesignComponent<QWidget>(this, "panMenu");
    panNavigator = DesignComponent<QWidget>(this, "panNavigator");
    dbtNome = DesignComponent<TDBText>(this, "dbtNome");
    lblCodTela = DesignComponent<QLabel>(this, "lblCodTela");
    sbtIncluir = DesignComponent<TButtonFlat>(this, "sbtIncluir");
    sbtAlterar = DesignComponent<TButtonFlat>(this, "sbtAlterar");
    sbtExcluir = DesignComponent<TButtonFlat>(this, "sbtExcluir");
    sbtConfirmar = DesignComponent<TButtonFlat>(this, "sbtConfirmar");
    sbtCancelar = DesignComponent<TButtonFlat>(this, "sbtCancelar");
    sbtProcurar = DesignComponent<TButtonFlat>(this, "sbtProcurar");
    sbtVerificar = DesignComponent<TButtonFlat>(this, "sbtVerificar");
    sbtImprimir = DesignComponent<TButtonFlat>(this, "sbtImprimir");
    sbtAjuda = DesignComponent<TButtonFlat>(this, "sbtAjuda");
    sbtFechar = DesignComponent<TButtonFlat>(this, "sbtFechar");
    mnuMenu = DesignComponent<QMenuBar>(this, "mnuMenu");
    mnuOperacao = DesignComponent<QMenu>(this, "mnuOperacao");
    mnuManutencao = DesignComponent<QMenu>(this, "mnuManutencao");
    mnuListagem = DesignComponent<QAction>(this, "mnuListagem");
    mnuConfigImpressora = DesignComponent<QAction>(this, "mnuConfigImpressora");
    mnuSair = DesignComponent<QAction>(this, "mnuSair");
    mnuIncluir = DesignComponent<QAction>(this, "mnuIncluir");
    mnuAlterar = DesignComponent<QAction>(this, "mnuAlterar");
    mnuExcluir = DesignComponent<QAction>(this, "mnuExcluir");
    mnuProcurar = DesignComponent<QAction>(this, "mnuProcurar");
    mnuVerificar = DesignComponent<QAction>(this, "mnuVerificar");
    mnuCancelar = DesignComponent<QAction>(this, "mnuCancelar");
    mnuConfirmar = DesignComponent<QAction>(this, "mnuConfirmar");

    paintToolButtons();
    dbgPadrao->SetDataSource(dtsPadrao);
    dbtNome->SetDataSource(dtsPadrao);
    dbgPadrao->OnKeyDown = [this](QObject *sender, int &key, Qt::KeyboardModifiers shift) {
        dbgPadraoKeyDown(sender, key, shift);
    };
    connect(dtsPadrao, &TDataSource::StateChange, this,
            EventGuard::wrap([this](TDataSource *sender) { dtsPadraoStateChange(sender); }));
    connect(sbtVerificar, &QAbstractButton::clicked, this,
            EventGuard::wrap([this](bool) { sbtVerificarClick(sbtVerificar); }));
    connect(sbtAjuda, &QAbstractButton::clicked, this, EventGuard::wrap([this](bool) { sbtAjudaClick(sbtAjuda); }));
    connect(sbtFechar, &QAbstractButton::clicked, this, [this] { close(); });
    connect(mnuSair, &QAction::triggered, this, [this] { close(); });
    m_designBound = true;
}

void TfrmPadrao::paintToolButtons()
{
    const std::pair<TButtonFlat *, StandardGlyphs::Glyph> glyphs[] = {
        {sbtIncluir, StandardGlyphs::Glyph::Insert},   {sbtAlterar, StandardGlyphs::Glyph::Edit},
        {sbtExcluir, StandardGlyphs::Glyph::Delete},   {sbtConfirmar, StandardGlyphs::Glyph::Confirm},
        {sbtCancelar, StandardGlyphs::Glyph::Cancel},  {sbtProcurar, StandardGlyphs::Glyph::Search},
        {sbtVerificar, StandardGlyphs::Glyph::Verify}, {sbtImprimir, StandardGlyphs::Glyph::Print},
        {sbtAjuda, StandardGlyphs::Glyph::Help},       {sbtFechar, StandardGlyphs::Glyph::Close},
    };
    for (const auto &[button, glyph] : glyphs)
        button->setIcon(StandardGlyphs::icon(glyph));
}

void TfrmPadrao::FormCreate(QObject *sender)
{
    Q_UNUSED(sender);
    BindDesign();
    dtsPadraoStateChange(dtsPadrao);
}

void TfrmPadrao::FormClose(QObject *sender, TCloseAction &action)
{
    Q_UNUSED(sender);
    action = TCloseAction::Free;
}

void TfrmPadrao::dbgPadraoKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift)
{
    Q_UNUSED(sender);
    // Enter on the grid shows the current record on the detail page.
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && shift == Qt::NoModifier) {
        SetActivePage(tshFormulario);
        key = 0;
    }
}

void TfrmPadrao::dtsPadraoStateChange(QObject *sender)
{
    Q_UNUSED(sender);
    TClientDataSet *dataSet = dtsPadrao->DataSet();
    const TDataSetState state = dtsPadrao->State();
    const bool browsing = state == TDataSetState::Browse;
    const bool editing = state == TDataSetState::Edit || state == TDataSetState::Insert;
    const bool hasRows = browsing && dataSet && !dataSet->IsEmpty();
    sbtIncluir->setEnabled(browsing);
    sbtAlterar->setEnabled(hasRows);
    sbtExcluir->setEnabled(hasRows);
    sbtProcurar->setEnabled(hasRows);
    sbtVerificar->setEnabled(browsing);
    sbtConfirmar->setEnabled(editing);
    sbtCancelar->setEnabled(editing);
}

void TfrmPadrao::sbtVerificarClick(QObject *sender)
{
    Q_UNUSED(sender);
}

void TfrmPadrao::sbtAjudaClick(QObject *sender)
{
    Q_UNUSED(sender);
    Application().ShowHelp();
}

void TfrmPadrao::SetActivePage(QWidget *page)
{
    if (pgcPadrao && page)
        pgcPadrao->setCurrentWidget(page);
}

void TfrmPadrao::ShowAsMdiChild()
{
    QMdiArea *area = Application().MdiArea();
    if (!area) {
        show();
        raise();
        return;
    }
    if (!m_subWindow) {
        // The design gives the frame's place in the MDI area and its outer size;
        // the frame grows where the whole design would not show otherwise.
        const QRect designed = geometry();
        m_subWindow = area->addSubWindow(this);
        m_subWindow->setAttribute(Qt::WA_DeleteOnClose);
        m_subWindow->setWindowIcon(windowIcon());
        m_subWindow->show();
        const QSize frame = m_subWindow->size() - size();
        m_subWindow->resize(designed.size().expandedTo(minimumSizeHint() + frame));
        m_subWindow->move(designed.topLeft());
    }
    m_subWindow->show();
    m_subWindow->raise();
    area->setActiveSubWindow(m_subWindow);
}

void TfrmPadrao::SetWindowStateNormal()
{
    QWidget *window = m_subWindow ? static_cast<QWidget *>(m_subWindow) : static_cast<QWidget *>(this);
    window->setWindowState(window->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    if (m_subWindow)
        m_subWindow->showNormal();
}

void TfrmPadrao::closeEvent(QCloseEvent *event)
{
    if (m_closing) {
        event->accept();
        return;
    }
    TCloseAction action = TCloseAction::Hide;
    const bool done = EventGuard::run([&] { FormClose(this, action); });
    if (!done || action == TCloseAction::None) {
        event->ignore();
        return;
    }
    event->accept();
    if (action == TCloseAction::Free) {
        // Released: the MDI frame (which owns the screen) closes and deletes itself.
        m_closing = true;
        if (m_subWindow)
            m_subWindow->close();
        deleteLater();
    } else if (action == TCloseAction::Hide && m_subWindow) {
        m_subWindow->hide();
    }
}
