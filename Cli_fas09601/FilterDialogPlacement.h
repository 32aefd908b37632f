#pragma once

#include <QObject>
#include <QRect>

#include "pkg_fas09600_export.h"

class QDialog;

// Keeps the filter dialog's place per user: remembered when the dialog is
// hidden, given back when it is shown again (over the centring that the base
// dialog does at every showing). The preview screen's "restore the designed
// layout" forgets it, and the dialog opens centred again.
class PKG_FAS09600_EXPORT FilterDialogPlacement : public QObject
{
    Q_OBJECT
public:
    explicit FilterDialogPlacement(QDialog *dialog);

    // The dialog's group in the layout store: its screen code.
    static QString Group() { return QStringLiteral("FAS09601"); }

    // Whether a title bar at `titleBar` can be seen and grabbed on one of the
    // displays there are now: a good part of its width on a display's free area.
    static bool ShowsOnADisplay(const QRect &titleBar);
    static constexpr int TitleBarHeight = 20;
    static constexpr int MinimumShownWidth = 60;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void remember() const;
    void giveBack();

    QDialog *m_dialog;
};
