#include "Cli_fas09600/ScreenLayout.h"

#include <QHeaderView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSettings>

#include "Cli_fas09601/FilterDialogPlacement.h"
#include "outside/forms/LayoutStore.h"
#include "Cli_fas09600/PreviewSorting.h"
#include "platform/ui/TDBGrid.h"
#include "outside/forms/TfrmPadrao.h"

namespace {

const QString &columnsKey()
{
    static const QString key = QStringLiteral("colunas");
    return key;
}

const QString &orderKey()
{
    static const QString key = QStringLiteral("ordem");
    return key;
}

const QString &frameKey()
{
    static const QString key = QStringLiteral("janela");
    return key;
}

} // namespace

ScreenLayout::ScreenLayout(TfrmPadrao *screen, TDBGrid *grid, PreviewSorting *sorting)
    : QObject(screen)
    , m_screen(screen)
    , m_grid(grid)
    , m_sorting(sorting)
{
    QHeaderView *header = grid->horizontalHeader();
    header->setSectionsMovable(true);
    m_designedColumns = header->saveState();
    connect(grid->model(), &QAbstractItemModel::modelAboutToBeReset, this,
            [this] { m_beforeLoad = m_grid->horizontalHeader()->saveState(); });
    // Connected after the grid's own handler, which applies the designed widths.
    connect(grid->model(), &QAbstractItemModel::modelReset, this, [this] {
        if (!m_beforeLoad.isEmpty())
            m_grid->horizontalHeader()->restoreState(m_beforeLoad);
    });
}

QSettings ScreenLayout::Store()
{
    return LayoutStore::Open();
}

QWidget *ScreenLayout::frame() const
{
    return m_screen->SubWindow() ? static_cast<QWidget *>(m_screen->SubWindow()) : static_cast<QWidget *>(m_screen);
}

void ScreenLayout::Restore()
{
    m_designedFrame = frame()->geometry();
    QSettings store = Store();
    store.beginGroup(ScreenGroup());
    const QByteArray columns = store.value(columnsKey()).toByteArray();
    const QRect kept = store.value(frameKey()).toRect();
    const QString order = store.value(orderKey()).toString();
    store.endGroup();
    if (!columns.isEmpty())
        m_grid->horizontalHeader()->restoreState(columns);
    m_sorting->Apply(order);
    if (kept.isValid()) {
        // A place outside the MDI area (a smaller screen since) is pulled back in.
        QRect place = kept;
        if (QWidget *area = frame()->parentWidget()) {
            const QRect visible(QPoint(0, 0), area->size());
            if (!visible.intersects(place.adjusted(0, 0, 0, -place.height() + 20)))
                place.moveTopLeft(m_designedFrame.topLeft());
        }
        frame()->setGeometry(place);
    }
}

void ScreenLayout::Save() const
{
    QSettings store = Store();
    store.beginGroup(ScreenGroup());
    store.setValue(columnsKey(), m_grid->horizontalHeader()->saveState());
    store.setValue(orderKey(), m_sorting->Kept());
    // A maximized or minimized window keeps the place it had before.
    if (!(frame()->windowState() & (Qt::WindowMaximized | Qt::WindowMinimized)))
        store.setValue(frameKey(), frame()->geometry());
    store.endGroup();
}

void ScreenLayout::RestoreDesigned()
{
    QHeaderView *header = m_grid->horizontalHeader();
    header->restoreState(m_designedColumns);
    for (int logical = 0; logical < header->count(); ++logical)
        header->moveSection(header->visualIndex(logical), logical);
    m_grid->SetColumns(m_grid->Columns());
    m_sorting->Clear();
    if (m_designedFrame.isValid())
        frame()->setGeometry(m_designedFrame);
    QSettings store = Store();
    store.remove(ScreenGroup());
    store.remove(FilterDialogPlacement::Group());
}
