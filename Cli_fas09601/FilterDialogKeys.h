#pragma once

#include <QObject>

#include "pkg_fas09600_export.h"

class QAbstractButton;
class QDialog;

// Enter (or the keypad's Enter) confirms the filter dialog from any of its
// controls, as a click on its confirm button would; Escape keeps cancelling
// through the dialog's own handling.
class PKG_FAS09600_EXPORT FilterDialogKeys : public QObject
{
    Q_OBJECT
public:
    FilterDialogKeys(QDialog *dialog, QAbstractButton *confirm);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QDialog *m_dialog;
    QAbstractButton *m_confirm;
};
