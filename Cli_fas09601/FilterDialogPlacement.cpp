#include "Cli_fas09601/FilterDialogPlacement.h"

#include <algorithm>

#include <QDialog>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>

#include "outside/forms/LayoutStore.h"

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
            QMetaObject::invokeMethod(
                this, [this] { giveBack(); }, Qt::QueuedConnection);
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
    // A place kept on a larger or another display may lie where no display is
    // now: the dialog would open out of sight, over a host it blocks. Only a
    // place whose title bar shows on some display is used.
    if (ShowsOnADisplay(QRect(place, QSize(m_dialog->frameGeometry().width(), TitleBarHeight))))
        m_dialog->move(place);
}

bool FilterDialogPlacement::ShowsOnADisplay(const QRect &titleBar)
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    return std::any_of(screens.cbegin(), screens.cend(), [&](const QScreen *screen) {
        const QRect shown = screen->availableGeometry().intersected(titleBar);
        return shown.width() >= MinimumShownWidth && shown.height() >= TitleBarHeight / 2;
    });
}
