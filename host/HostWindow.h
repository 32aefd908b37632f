#pragma once

#include <QMainWindow>
#include <QPointer>

#include "host/GuideWindow.h"

class QLabel;
class QMdiArea;
class ModuleLoader;

// The host's main window: an MDI area for the screens, a menu entry for the
// billing preview (which calls the module's IniProc), the clerk's guide behind
// the screens' help button and F1, and the application server's address kept
// in the status bar.
//
// It starts at its designed size where the screen's available area holds it,
// else maximized within that area; the MDI area scrolls, so a screen keeps its
// designed size and place and is reached by scrolling where it does not fit.
class HostWindow : public QMainWindow
{
    Q_OBJECT
public:
    HostWindow(ModuleLoader &module, QWidget *parent = nullptr);

    QMdiArea *mdiArea() const { return m_mdiArea; }
    QAction *previewAction() const { return m_previewAction; }
    QAction *guideAction() const { return m_guideAction; }
    QLabel *serverLabel() const { return m_serverLabel; }
    GuideWindow *guideWindow() const { return m_guide; }

    // Runs the module's entry through the event guard, so an error reaches
    // the application's error report.
    void openPreview();
    // Destroys every screen still open (before the module is finalized).
    void destroyScreens();

    // The guide's file (GuideWindow::defaultPath of the program's folder until
    // set); showGuide opens it, a missing guide goes to the error report.
    void setGuidePath(const QString &path) { m_guidePath = path; }
    QString guidePath() const { return m_guidePath; }
    void showGuide();

    static QSize designedSize() { return {1100, 720}; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenus();
    void fitToScreen();

    ModuleLoader &m_module;
    QMdiArea *m_mdiArea;
    QAction *m_previewAction = nullptr;
    QAction *m_guideAction = nullptr;
    QLabel *m_serverLabel = nullptr;
    QPointer<GuideWindow> m_guide;
    QString m_guidePath;
};
