#include "outside/net/InputGate.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>
#include <QWindow>

namespace {

bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::InputMethod:
    case QEvent::Close:
        return true;
    default:
        return false;
    }
}

bool onPanel(QObject *watched)
{
    if (auto *widget = qobject_cast<QWidget *>(watched))
        return widget->window()->property(InputGate::PanelProperty).toBool();
    if (auto *window = qobject_cast<QWindow *>(watched))
        return window->property(InputGate::PanelProperty).toBool();
    return false;
}

} // namespace

InputGate::InputGate(std::function<void()> onEscape)
    : m_onEscape(std::move(onEscape))
{
    QCoreApplication::instance()->installEventFilter(this);
}

InputGate::~InputGate()
{
    QCoreApplication::instance()->removeEventFilter(this);
}

bool InputGate::eventFilter(QObject *watched, QEvent *event)
{
    if (!isUserInput(event->type()))
        return false;
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        m_onEscape();
        return true;
    }
    if (event->type() == QEvent::Close)
        return event->spontaneous(); // the user closing a window waits too; the program's own closes go on
    return !onPanel(watched);
}
