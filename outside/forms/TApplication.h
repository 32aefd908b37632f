#pragma once

#include <functional>
#include <memory>
#include <utility>

#include <QList>
#include <QPointer>
#include <QWidget>
#include <QString>

#include "kor_export.h"

#include <QMainWindow>
#include <QMdiArea>
class QWidget;

// The host's application object as the screens see it: the MDI main form that
// child screens live in, and form creation with the creation handler run at once.
class KOR_EXPORT TApplication
{
public:
    static TApplication &instance();

    QMainWindow *MainForm() const { return m_mainForm; }
    QMdiArea *MdiArea() const { return m_mdiArea; }
    void SetMainForm(QMainWindow *mainForm, QMdiArea *mdiArea);
    // A passing note in the main form's status bar, when it has one.
    void ShowStatusMessage(const QString &text, int timeoutMs = 10000) const;

    // Creates a form and runs its FormCreate. A failure destroys the half-made
    // form and passes the error on, so no half-made screen is left behind.
    template<typename Form>
    Form *CreateForm()
    {
        std::unique_ptr<Form> form(new Form(nullptr));
        form->FormCreate(form.get());
        RegisterForm(form.get());
        return form.release();
    }

    // The application owns the forms it created: DestroyForms deletes those
    // still alive (the host calls it at exit, before finalizing the module).
    void RegisterForm(QWidget *form);
    void DestroyForms();

    // The host's help: the screens' help button asks for it, the host says what
    // it shows. Without a host that set one, asking does nothing.
    void SetHelp(std::function<void()> showHelp) { m_showHelp = std::move(showHelp); }
    void ShowHelp() const;

private:
    QPointer<QMainWindow> m_mainForm;
    QPointer<QMdiArea> m_mdiArea;
    QList<QPointer<QWidget>> m_forms;
    std::function<void()> m_showHelp;
};

KOR_EXPORT TApplication &Application();

// The application-wide cursor: crHourGlass (-11) and crDefault (0).
namespace Screen {

inline constexpr int crDefault = 0;
inline constexpr int crHourGlass = -11;

KOR_EXPORT void SetCursor(int cursor);
KOR_EXPORT int Cursor();

} // namespace Screen
