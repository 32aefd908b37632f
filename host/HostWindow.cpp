#include "host/HostWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>

#include "platform/ui/EventGuard.h"
#include "host/GuideWindow.h"
#include "outside/services/HostConfig.h"
#include "host/ModuleLoader.h"
#include "outside/net/SessionUser.h"
#include "outside/forms/TApplication.h"

HostWindow::HostWindow(ModuleLoader &module, QWidget *parent)
    : QMainWindow(parent)
    , m_module(module)
    , m_mdiArea(new QMdiArea(this))
    , m_guidePath(GuideWindow::defaultPath(QApplication::applicationDirPath()))
{
    setObjectName(QStringLiteral("frmPrincipal"));
    setWindowTitle(QStringLiteral("Faturamento de Serviços"));
    m_mdiArea->setObjectName(QStringLiteral("mdiArea"));
    m_mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_mdiArea);
    fitToScreen();
    buildMenus();

    // A permanent widget: the status tips of the menus pass over it and leave it.
    m_serverLabel = new QLabel(
        QStringLiteral("Servidor de aplicação: %1:%2").arg(HostConfig::webUrl()).arg(HostConfig::webPort()));
    m_serverLabel->setObjectName(QStringLiteral("lblServidor"));
    statusBar()->addPermanentWidget(m_serverLabel);
    // Who the server says is signed in, once the module has connected.
    auto *user = new QLabel(this);
    user->setObjectName(QStringLiteral("lblUsuario"));
    user->setVisible(false);
    statusBar()->addPermanentWidget(user);
    connect(&SessionUser::instance(), &SessionUser::changed, user, [user](const QString &name) {
        user->setText(QStringLiteral("Usuário: %1").arg(name));
        user->setVisible(!name.isEmpty());
    });
    Application().SetMainForm(this, m_mdiArea);
    Application().SetHelp([this] { showGuide(); });
}

void HostWindow::buildMenus()
{
    QMenu *billing = menuBar()->addMenu(QStringLiteral("&Faturamento"));
    m_previewAction = billing->addAction(QStringLiteral("Prévia para Faturamento (NF/INVOICE)"));
    m_previewAction->setObjectName(QStringLiteral("mnuPreviaFaturamento"));
    connect(m_previewAction, &QAction::triggered, this, &HostWindow::openPreview);
    billing->addSeparator();
    QAction *quit = billing->addAction(QStringLiteral("Sair"));
    connect(quit, &QAction::triggered, this, &QWidget::close);

    QMenu *windows = menuBar()->addMenu(QStringLiteral("&Janelas"));
    windows->addAction(QStringLiteral("Lado a lado"), m_mdiArea, &QMdiArea::tileSubWindows);
    windows->addAction(QStringLiteral("Em cascata"), m_mdiArea, &QMdiArea::cascadeSubWindows);

    QMenu *help = menuBar()->addMenu(QStringLiteral("Aj&uda"));
    m_guideAction = help->addAction(QStringLiteral("Guia do usuário"));
    m_guideAction->setObjectName(QStringLiteral("mnuGuia"));
    m_guideAction->setShortcut(QKeySequence(Qt::Key_F1));
    m_guideAction->setStatusTip(QStringLiteral("Abre o guia do usuário da Prévia para Faturamento"));
    connect(m_guideAction, &QAction::triggered, this, &HostWindow::showGuide);
}

void HostWindow::fitToScreen()
{
    const QScreen *screen = this->screen();
    const QRect available = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), designedSize());
    // What is left of the area once the window manager's title bar and borders are drawn.
    const int titleBar = style()->pixelMetric(QStyle::PM_TitleBarHeight);
    const QSize room = available.size() - QSize(titleBar / 2, titleBar * 3 / 2);
    if (designedSize().width() <= room.width() && designedSize().height() <= room.height()) {
        resize(designedSize());
        return;
    }
    resize(designedSize().boundedTo(room));
    move(available.topLeft());
    setWindowState(windowState() | Qt::WindowMaximized);
}

void HostWindow::openPreview()
{
    EventGuard::run([this] { m_module.iniProc(); });
}

void HostWindow::showGuide()
{
    EventGuard::run([this] {
        if (!m_guide)
            m_guide = new GuideWindow(this);
        m_guide->open(m_guidePath);
    });
}

void HostWindow::destroyScreens()
{
    const QList<QMdiSubWindow *> windows = m_mdiArea->subWindowList();
    for (QMdiSubWindow *window : windows) {
        window->close();
        delete window;
    }
}

void HostWindow::closeEvent(QCloseEvent *event)
{
    destroyScreens();
    event->accept();
}
