#pragma once

#include <QByteArray>
#include <QObject>
#include <QRect>

#include "pkg_fas09600_export.h"

class PreviewSorting;
class QSettings;
class TDBGrid;
class TfrmPadrao;

// The preview screen's layout as the user left it, kept per user with
// QSettings (INI format, organization "fas09600", application "layout"): the
// grid's column widths and order, the rows' order (PreviewSorting), the screen's
// place and size in the host's MDI area. Restore() puts it back at the screen's opening, Save() keeps it at
// its closing, RestoreDesigned() returns to the design and forgets what was kept
// (the filter dialog's place too, see FilterDialogPlacement).
//
// The grid re-applies its designed widths whenever the preview is loaded; the
// layout carries the user's widths and order over each load.
class PKG_FAS09600_EXPORT ScreenLayout : public QObject
{
    Q_OBJECT
public:
    ScreenLayout(TfrmPadrao *screen, TDBGrid *grid, PreviewSorting *sorting);

    void Restore();
    void Save() const;
    void RestoreDesigned();

    // Where the layout is kept (LayoutStore); the filter dialog keeps its place there too.
    static QSettings Store();
    static QString ScreenGroup() { return QStringLiteral("FAS09600"); }

private:
    QWidget *frame() const;

    TfrmPadrao *m_screen;
    TDBGrid *m_grid;
    PreviewSorting *m_sorting;
    QByteArray m_designedColumns;
    QRect m_designedFrame;
    QByteArray m_beforeLoad;
};
