#include "outside/forms/TfrmFiltroPadrao.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSettings>
#include <QShowEvent>
#include <QStyle>

#include "outside/forms/DesignComponents.h"
#include "platform/ui/EventGuard.h"
#include "platform/data/FasError.h"
#include "outside/forms/StandardGlyphs.h"
#include "outside/forms/TApplication.h"
#include "outside/controls/TButtonFlat.h"
#include "outside/controls/TDateEditPlus.h"
#include "outside/services/TMessages.h"

namespace {

QSettings optionsStore()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("fas09600"), QStringLiteral("filtros"));
}

const QString &checkedText()
{
    static const QString text = QStringLiteral("1");
    return text;
}

const QString &uncheckedText()
{
    static const QString text = QStringLiteral("0");
    return text;
}

} // namespace

TfrmFiltroPadrao::TfrmFiltroPadrao(QWidget *parent)
    : QDialog(parent)
{
    msgPadrao = new TMessages(this);
    msgPadrao->setObjectName(QStringLiteral("msgPadrao"));
}

TfrmFiltroPadrao::~TfrmFiltroPadrao() = default;

void TfrmFiltroPadrao::BindDesign()
{
    grbFiltroPadrao = DesignComponent<QWidget>(this, "grbFiltroPadrao");
    panMenu = DesignComponent<QWidget>(this, "panMenu");
    panBotoes = DesignComponent<QWidget>(this, "panBotoes");
    lblCodTela = DesignComponent<QLabel>(this, "lblCodTela");
    sbtConfirma = DesignComponent<TButtonFlat>(this, "sbtConfirma");
    sbtCancela = DesignComponent<TButtonFlat>(this, "sbtCancela");
    btfSaveOpc = DesignComponent<TButtonFlat>(this, "btfSaveOpc");
    btfLoadOpc = DesignComponent<TButtonFlat>(this, "btfLoadOpc");

    sbtConfirma->setIcon(StandardGlyphs::icon(StandardGlyphs::Glyph::Confirm));
    sbtCancela->setIcon(StandardGlyphs::icon(StandardGlyphs::Glyph::Cancel));
    btfSaveOpc->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    btfLoadOpc->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));

    connect(sbtConfirma, &QAbstractButton::clicked, this,
            EventGuard::wrap([this](bool) { sbtConfirmaClick(sbtConfirma); }));
    connect(sbtCancela, &QAbstractButton::clicked, this, [this] { close(); });
    connect(btfSaveOpc, &QAbstractButton::clicked, this, EventGuard::wrap([this](bool) { saveOptions(); }));
    connect(btfLoadOpc, &QAbstractButton::clicked, this, EventGuard::wrap([this](bool) { loadOptions(); }));
}

void TfrmFiltroPadrao::FormCreate(QObject *sender)
{
    Q_UNUSED(sender);
    m_options.clear();
}

void TfrmFiltroPadrao::FormActivate(QObject *sender)
{
    Q_UNUSED(sender);
}

void TfrmFiltroPadrao::FormClose(QObject *sender, TCloseAction &action)
{
    Q_UNUSED(sender);
    action = TCloseAction::Hide;
}

void TfrmFiltroPadrao::sbtConfirmaClick(QObject *sender)
{
    Q_UNUSED(sender);
    CloseWithResult(QDialog::Accepted);
}

void TfrmFiltroPadrao::btfSaveOpcClick(QObject *sender)
{
    Q_UNUSED(sender);
    m_options.clear();
    const QList<QWidget *> controls = grbFiltroPadrao->findChildren<QWidget *>();
    for (QWidget *control : controls) {
        if (control->objectName().isEmpty())
            continue;
        if (auto *dateEdit = qobject_cast<TDateEditPlus *>(control))
            SetOptionValue(control->objectName(), dateEdit->Text());
        else if (auto *edit = qobject_cast<QLineEdit *>(control))
            SetOptionValue(control->objectName(), edit->text());
        else if (qobject_cast<QCheckBox *>(control) || qobject_cast<QRadioButton *>(control))
            SetOptionValue(control->objectName(),
                           static_cast<QAbstractButton *>(control)->isChecked() ? checkedText() : uncheckedText());
    }
}

void TfrmFiltroPadrao::btfLoadOpcClick(QObject *sender)
{
    Q_UNUSED(sender);
    // In design order, so that a control's rule runs before the controls that
    // follow it are set (a rule may tick or enable them on its way).
    const QList<QWidget *> controls = grbFiltroPadrao->findChildren<QWidget *>();
    for (QWidget *control : controls) {
        const QString name = control->objectName();
        if (name.isEmpty())
            continue;
        const QString value = OptionValue(name);
        if (auto *dateEdit = qobject_cast<TDateEditPlus *>(control)) {
            dateEdit->setText(value);
        } else if (auto *edit = qobject_cast<QLineEdit *>(control)) {
            edit->setText(value);
        } else if (auto *radio = qobject_cast<QRadioButton *>(control)) {
            if (value == checkedText())
                SetChecked(radio, true);
        } else if (auto *box = qobject_cast<QCheckBox *>(control)) {
            if (value == checkedText() || value == uncheckedText())
                SetChecked(box, value == checkedText());
        }
    }
}

QString TfrmFiltroPadrao::OptionValue(const QString &name) const
{
    const QString prefix = name + QLatin1Char('=');
    for (const QString &line : m_options) {
        if (line.startsWith(prefix, Qt::CaseInsensitive))
            return line.mid(prefix.size());
    }
    return {};
}

void TfrmFiltroPadrao::SetOptionValue(const QString &name, const QString &value)
{
    const QString prefix = name + QLatin1Char('=');
    for (qsizetype i = 0; i < m_options.size(); ++i) {
        if (!m_options.at(i).startsWith(prefix, Qt::CaseInsensitive))
            continue;
        if (value.isEmpty())
            m_options.removeAt(i);
        else
            m_options[i] = prefix + value;
        return;
    }
    if (!value.isEmpty())
        m_options.append(prefix + value);
}

QString TfrmFiltroPadrao::OptionsGroup() const
{
    const QString code = lblCodTela ? lblCodTela->text().trimmed() : QString();
    return code.isEmpty() ? objectName() : code;
}

void TfrmFiltroPadrao::saveOptions()
{
    btfSaveOpcClick(btfSaveOpc);
    QSettings store = optionsStore();
    store.beginGroup(OptionsGroup());
    store.setValue(OptionsKey(), m_options);
    store.endGroup();
    store.sync();
    if (store.status() != QSettings::NoError)
        throw FasError(QStringLiteral("Não foi possível gravar as opções do filtro em %1.").arg(store.fileName()));
}

void TfrmFiltroPadrao::loadOptions()
{
    QSettings store = optionsStore();
    store.beginGroup(OptionsGroup());
    m_options = store.value(OptionsKey()).toStringList();
    store.endGroup();
    btfLoadOpcClick(btfLoadOpc);
}

void TfrmFiltroPadrao::SetChecked(QAbstractButton *button, bool checked)
{
    if (button->isChecked() == checked)
        return;
    if (!checked && button->autoExclusive()) {
        // An exclusive radio button can only be deselected with its group's
        // exclusivity lifted for the moment.
        button->setAutoExclusive(false);
        button->setChecked(false);
        button->setAutoExclusive(true);
    } else {
        button->setChecked(checked);
    }
    if (checked || !qobject_cast<QRadioButton *>(button))
        ControlClicked(button);
}

void TfrmFiltroPadrao::ControlClicked(QAbstractButton *button)
{
    Q_UNUSED(button);
}

void TfrmFiltroPadrao::ConnectClickRule(QAbstractButton *button)
{
    connect(button, &QAbstractButton::clicked, this,
            EventGuard::wrap([this, button](bool) { ControlClicked(button); }));
}

void TfrmFiltroPadrao::CloseWithResult(int result)
{
    m_closeResult = result;
    close();
    m_closeResult = QDialog::Rejected;
}

void TfrmFiltroPadrao::showEvent(QShowEvent *event)
{
    // The application owns the dialog, not the main form: it opens centred
    // over the main form all the same.
    QWidget *mainForm = Application().MainForm();
    if (!event->spontaneous() && !parentWidget() && mainForm && mainForm->isVisible())
        move(mainForm->frameGeometry().center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    QDialog::showEvent(event);
    if (!event->spontaneous())
        EventGuard::run([this] { FormActivate(this); });
}

void TfrmFiltroPadrao::closeEvent(QCloseEvent *event)
{
    TCloseAction action = TCloseAction::Hide;
    const bool done = EventGuard::run([&] { FormClose(this, action); });
    if (!done || action == TCloseAction::None) {
        event->ignore();
        return;
    }
    event->accept();
    // Hiding ends a modal showing with the result the closing asked for.
    QDialog::done(m_closeResult);
    if (action == TCloseAction::Free)
        deleteLater();
}

void TfrmFiltroPadrao::reject()
{
    close();
}
