#include "HostWindow.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>

#include "EventGuard.h"
#include "HostConfig.h"
#include "ModuleLoader.h"
#include "SessionUser.h"
#include "TApplication.h"

HostWindow::HostWindow(ModuleLoader &module, QWidget *parent)
    : QMainWindow(parent)
    , m_module(module)
    , m_mdiArea(new QMdiArea(this))
{
    setObjectName(QStringLiteral("frmPrincipal"));
    setWindowTitle(QStringLiteral("Faturamento de Serviços"));
    m_mdiArea->setObjectName(QStringLiteral("mdiArea"));
    setCentralWidget(m_mdiArea);
    resize(1100, 720);

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

    statusBar()->showMessage(QStringLiteral("Servidor de aplicação: %1:%2").arg(HostConfig::webUrl()).arg(HostConfig::webPort()));
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
}

void HostWindow::openPreview()
{
    EventGuard::run([this] { m_module.iniProc(); });
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
