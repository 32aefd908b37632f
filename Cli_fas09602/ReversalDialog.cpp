#include "Cli_fas09602/ReversalDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

ReversalDialog::ReversalDialog(QWidget *parent, const QString &question)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmEstorno"));
    setWindowTitle(QStringLiteral("Estornar"));
    lblPergunta = new QLabel(question, this);
    lblPergunta->setWordWrap(true);
    auto *lblMotivo = new QLabel(QStringLiteral("&Motivo do estorno:"), this);
    edtMotivo = new QLineEdit(this);
    edtMotivo->setObjectName(QStringLiteral("edtMotivo"));
    edtMotivo->setMaxLength(MaxReason);
    edtMotivo->setMinimumWidth(420);
    lblMotivo->setBuddy(edtMotivo);
    lblRestantes = new QLabel(this);
    lblRestantes->setObjectName(QStringLiteral("lblRestantes"));
    btnEstornar = new QPushButton(QStringLiteral("&Estornar"), this);
    btnEstornar->setObjectName(QStringLiteral("btnEstornar"));
    btnEstornar->setDefault(true);
    btnCancelar = new QPushButton(QStringLiteral("Cancelar"), this);
    btnCancelar->setObjectName(QStringLiteral("btnCancelar"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(lblRestantes);
    buttons->addStretch();
    buttons->addWidget(btnEstornar);
    buttons->addWidget(btnCancelar);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblPergunta);
    layout->addWidget(lblMotivo);
    layout->addWidget(edtMotivo);
    layout->addLayout(buttons);

    connect(edtMotivo, &QLineEdit::textChanged, this, [this] { reasonEdited(); });
    connect(btnEstornar, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancelar, &QPushButton::clicked, this, &QDialog::reject);
    reasonEdited();
}

QString ReversalDialog::Motivo() const
{
    return edtMotivo->text().trimmed();
}

void ReversalDialog::reasonEdited()
{
    btnEstornar->setEnabled(!Motivo().isEmpty());
    lblRestantes->setText(QStringLiteral("%1 caracteres restantes").arg(MaxReason - edtMotivo->text().size()));
}

std::optional<QString> ReversalDialog::Ask(QWidget *parent, const QString &question)
{
    ReversalDialog dialog(parent, question);
    if (dialog.exec() != QDialog::Accepted || dialog.Motivo().isEmpty())
        return std::nullopt;
    return dialog.Motivo();
}
