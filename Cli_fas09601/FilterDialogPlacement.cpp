#include "FilterDialogPlacement.h"

#include <QDialog>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>

#include "LayoutStore.h"

namespace {

const QString &placeKey()
{
    static const QString key = QStringLiteral("posicao");
    return key;
}

} // namespace

FilterDialogPlacement::FilterDialogPlacement(QDialog *dialog)
    : QObject(dialog)
    , m_dialog(dialog)
{
    dialog->installEventFilter(this);
}

bool FilterDialogPlacement::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_dialog && !event->spontaneous()) {
        if (event->type() == QEvent::Hide)
            remember();
        else if (event->type() == QEvent::Show)
            // After the base dialog's own placing, which follows this event.
            QMetaObject::invokeMethod(this, [this] { giveBack(); }, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

void FilterDialogPlacement::remember() const
{
    QSettings store = LayoutStore::Open();
    store.beginGroup(Group());
    store.setValue(placeKey(), m_dialog->pos());
    store.endGroup();
}

void FilterDialogPlacement::giveBack()
{
    QSettings store = LayoutStore::Open();
    store.beginGroup(Group());
    const QVariant kept = store.value(placeKey());
    store.endGroup();
    if (!kept.isValid() || !m_dialog->isVisible())
        return;
    const QPoint place = kept.toPoint();
    // A place on a screen no longer there is not used.
    const QScreen *screen = QGuiApplication::screenAt(place + QPoint(20, 10));
    if (screen || QGuiApplication::screens().size() <= 1)
        m_dialog->move(place);
}
