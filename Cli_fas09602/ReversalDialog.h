#pragma once

#include <optional>

#include <QDialog>

#include "pkg_fas09600_export.h"

class QLabel;
class QLineEdit;
class QPushButton;

// "Estornar": says what is about to be reversed and asks why. The reason is
// required and holds at most MaxReason characters (the field takes no more);
// "Estornar" stays disabled while the reason is blank, so pressing it is the
// clerk's confirmation.
class PKG_FAS09600_EXPORT ReversalDialog : public QDialog
{
    Q_OBJECT
public:
    static constexpr int MaxReason = 200;

    ReversalDialog(QWidget *parent, const QString &question);

    QLabel *lblPergunta = nullptr;
    QLineEdit *edtMotivo = nullptr;
    QLabel *lblRestantes = nullptr;
    QPushButton *btnEstornar = nullptr;
    QPushButton *btnCancelar = nullptr;

    QString Motivo() const;

    // The reason, trimmed; none when the clerk cancels.
    static std::optional<QString> Ask(QWidget *parent, const QString &question);

private:
    void reasonEdited();
};
