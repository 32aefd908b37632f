#pragma once

#include <QDate>
#include <QDateTime>
#include <QLineEdit>

#include "kor_export.h"

// A date edit: the text follows the mask "dd/mm/aaaa", the edit sits on the
// info-tip background, a valid date shows in blue with its weekday as the tool
// tip ("Domingo" .. "Sábado"), and no time part is ever kept.
//
// Text() is the date as typed; an edit whose mask holds no digit gives "", so
// that Consiste::EmptyString treats it as empty (QLineEdit::text() would give
// the mask's separators "//").
//
// Exit is emitted when the focus moves to another control of the same window
// (not when the window itself loses the focus, as when a message box opens).
class KOR_EXPORT TDateEditPlus : public QLineEdit
{
    Q_OBJECT
public:
    explicit TDateEditPlus(QWidget *parent = nullptr);

    // The date shown, at midnight (Qt::UTC, wall clock); invalid when the text
    // is empty or not a date.
    QDateTime GetDate() const;
    QDate Date() const;
    // Shows the date part of `value`; an invalid value empties the edit.
    void SetDate(const QDateTime &value);
    void SetDate(const QDate &value);

    QString Text() const;
    bool IsEmpty() const { return Text().isEmpty(); }

    // Rejects a text that is not a valid date: the edit takes the focus, the
    // error is shown (Consiste::MensErro) and the running operation is
    // abandoned. An empty edit passes.
    void CheckValidDate();

    // The weekday name of a date: "Domingo", "Segunda", ... "Sábado".
    static QString WeekdayName(const QDate &date);

signals:
    void Exit(TDateEditPlus *sender);

protected:
    void focusOutEvent(QFocusEvent *event) override;

private:
    void showState();
};
