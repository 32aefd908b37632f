#include "Cli_fas09601/FilterDialogKeys.h"

#include <QAbstractButton>
#include <QDialog>
#include <QKeyEvent>
#include <QToolButton>

FilterDialogKeys::FilterDialogKeys(QDialog *dialog, QAbstractButton *confirm)
    : QObject(dialog)
    , m_dialog(dialog)
    , m_confirm(confirm)
{
    dialog->installEventFilter(this);
    // The dialog's flat buttons (confirm, cancel, options, lookups) take the
    // focus from Tab, so that Space reaches each of them without a mouse.
    const QList<QToolButton *> buttons = dialog->findChildren<QToolButton *>();
    for (QToolButton *button : buttons)
        button->setFocusPolicy(Qt::TabFocus);
}

bool FilterDialogKeys::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_dialog && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        const Qt::KeyboardModifiers others = key->modifiers() & ~Qt::KeypadModifier;
        if (enter && others == Qt::NoModifier) {
            if (m_confirm->isEnabled())
                m_confirm->click();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
