#include "outside/forms/TApplication.h"

#include <QStatusBar>

#include <QApplication>
#include <QMainWindow>
#include <QMdiArea>

TApplication &TApplication::instance()
{
    static TApplication application;
    return application;
}

void TApplication::SetMainForm(QMainWindow *mainForm, QMdiArea *mdiArea)
{
    m_mainForm = mainForm;
    m_mdiArea = mdiArea;
}

void TApplication::ShowStatusMessage(const QString &text, int timeoutMs) const
{
    if (!m_mainForm)
        return;
    if (auto *bar = m_mainForm->findChild<QStatusBar *>(QString(), Qt::FindDirectChildrenOnly))
        bar->showMessage(text, timeoutMs);
}

void TApplication::RegisterForm(QWidget *form)
{
    m_forms.append(form);
}

void TApplication::DestroyForms()
{
    const QList<QPointer<QWidget>> forms = std::exchange(m_forms, {});
    for (const QPointer<QWidget> &form : forms)
        delete form.data();
}

void TApplication::ShowHelp() const
{
    if (m_showHelp)
        m_showHelp();
}

TApplication &Application()
{
    return TApplication::instance();
}

namespace Screen {
namespace {

int &current()
{
    static int cursor = crDefault;
    return cursor;
}

} // namespace

void SetCursor(int cursor)
{
    if (cursor == current())
        return;
    if (qobject_cast<QApplication *>(QCoreApplication::instance())) {
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
        if (cursor == crHourGlass)
            QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    current() = cursor;
}

int Cursor()
{
    return current();
}

} // namespace Screen
