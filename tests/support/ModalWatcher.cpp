#include "tests/support/ModalWatcher.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QWidget>

ModalWatcher::ModalWatcher(QObject *parent)
    : QObject(parent)
{
    m_timer.setInterval(5);
    connect(&m_timer, &QTimer::timeout, this, &ModalWatcher::poll);
}

bool ModalWatcher::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Hide && watched == m_last) {
        watched->removeEventFilter(this);
        m_last = nullptr;
    }
    return QObject::eventFilter(watched, event);
}

void ModalWatcher::arm(std::function<void(QWidget *)> action)
{
    m_action = std::move(action);
    m_timer.start();
}

void ModalWatcher::disarm()
{
    m_timer.stop();
}

void ModalWatcher::closeModal(QWidget *modal)
{
    if (auto *dialog = qobject_cast<QDialog *>(modal))
        dialog->reject();
    else
        modal->close();
}

void ModalWatcher::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal) {
        m_last = nullptr; // the same dialog may be shown again later
        return;
    }
    if (modal == m_last)
        return;
    m_last = modal;
    modal->installEventFilter(this); // its hiding makes it new again
    ++m_seen;
    // Let the window finish showing before acting on it.
    QTimer::singleShot(0, modal, [this, modal] {
        if (m_action)
            m_action(modal);
        else
            closeModal(modal);
    });
}
