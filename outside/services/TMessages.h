#pragma once

#include <QObject>
#include <QStringList>

#include "kor_export.h"

// A screen's message catalogue: lines of a code, the separator "|" and the text.
class KOR_EXPORT TMessages : public QObject
{
    Q_OBJECT
public:
    explicit TMessages(QObject *parent = nullptr);

    void SetMessages(const QStringList &lines) { m_lines = lines; }
    const QStringList &Messages() const { return m_lines; }

    // The text after the code and "|"; empty when the code is not listed.
    QString Msg(const QString &code) const;
    // Shows the code's text in a modal information dialog with OK alone.
    void ShowMsg(const QString &code, int helpContext = 0) const;

private:
    QStringList m_lines;
};
