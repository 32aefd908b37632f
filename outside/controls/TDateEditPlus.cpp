#include "outside/controls/TDateEditPlus.h"

#include <QApplication>
#include <QFocusEvent>
#include <QPalette>

#include "outside/services/Consiste.h"

namespace {

const QString &dateFormat()
{
    static const QString format = QStringLiteral("dd/MM/yyyy");
    return format;
}

} // namespace

TDateEditPlus::TDateEditPlus(QWidget *parent)
    : QLineEdit(parent)
{
    setInputMask(QStringLiteral("99/99/9999;_"));
    QPalette colours = palette();
    colours.setColor(QPalette::Base, colours.color(QPalette::ToolTipBase));
    setPalette(colours);
    connect(this, &QLineEdit::textChanged, this, [this] { showState(); });
    showState();
}

QString TDateEditPlus::Text() const
{
    const QString typed = text();
    for (QChar c : typed) {
        if (c.isDigit())
            return typed;
    }
    return {};
}

QDate TDateEditPlus::Date() const
{
    return QDate::fromString(text(), dateFormat());
}

QDateTime TDateEditPlus::GetDate() const
{
    const QDate date = Date();
    return date.isValid() ? QDateTime(date, QTime(0, 0), Qt::UTC) : QDateTime();
}

void TDateEditPlus::SetDate(const QDateTime &value)
{
    SetDate(value.isValid() ? value.date() : QDate());
}

void TDateEditPlus::SetDate(const QDate &value)
{
    if (value.isValid())
        setText(value.toString(dateFormat()));
    else
        clear();
}

void TDateEditPlus::CheckValidDate()
{
    const QString typed = Text();
    if (typed.isEmpty() || Date().isValid())
        return;
    setFocus(Qt::OtherFocusReason);
    Consiste::MensErro(
        QStringLiteral("\"%1\" não é uma data válida. Informe a data no formato dd/mm/aaaa.").arg(displayText()), true);
}

QString TDateEditPlus::WeekdayName(const QDate &date)
{
    static const QString names[] = {
        QStringLiteral("Segunda"), QStringLiteral("Terça"),  QStringLiteral("Quarta"),  QStringLiteral("Quinta"),
        QStringLiteral("Sexta"),   QStringLiteral("Sábado"), QStringLiteral("Domingo"),
    };
    return date.isValid() ? names[date.dayOfWeek() - 1] : QString();
}

void TDateEditPlus::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    // Only a move to another control is the edit's exit; a message box or
    // another window taking the focus is not.
    const Qt::FocusReason reason = event->reason();
    if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
        return;
    emit Exit(this);
}

void TDateEditPlus::showState()
{
    const QDate date = Date();
    QPalette colours = palette();
    colours.setColor(QPalette::Text,
                     date.isValid() ? QColor(Qt::blue) : QApplication::palette(this).color(QPalette::Text));
    setPalette(colours);
    setToolTip(WeekdayName(date));
}
