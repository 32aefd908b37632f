#pragma once

#include <QMainWindow>

class QMdiArea;
class ModuleLoader;

// The host's main window: an MDI area for the screens and a menu entry for the
// billing preview, which calls the module's IniProc.
class HostWindow : public QMainWindow
{
    Q_OBJECT
public:
    HostWindow(ModuleLoader &module, QWidget *parent = nullptr);

    QMdiArea *mdiArea() const { return m_mdiArea; }
    QAction *previewAction() const { return m_previewAction; }

    // Runs the module's entry through the event guard, so an error reaches
    // the application's error report.
    void openPreview();
    // Destroys every screen still open (before the module is finalized).
    void destroyScreens();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    ModuleLoader &m_module;
    QMdiArea *m_mdiArea;
    QAction *m_previewAction;
};
