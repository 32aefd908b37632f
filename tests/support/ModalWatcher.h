#pragma once

#include <functional>

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <QWidget>

// Acts on the next modal window that opens (a dialog shown with exec() blocks
// the test until something closes it): polls for the active modal widget and
// hands it to `action` once. Counts the modal windows it has seen.
class ModalWatcher : public QObject
{
    Q_OBJECT
public:
    explicit ModalWatcher(QObject *parent = nullptr);

    // `action` runs once per modal window while armed; without an action the
    // window is closed (rejected when it is a dialog).
    void arm(std::function<void(QWidget *)> action = {});
    void disarm();
    int seen() const { return m_seen; }
    QWidget *lastModal() const { return m_last; }

    static void closeModal(QWidget *modal);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void poll();

    QTimer m_timer;
    std::function<void(QWidget *)> m_action;
    QPointer<QWidget> m_last;
    int m_seen = 0;
};
