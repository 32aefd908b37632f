#include "outside/services/TMessages.h"

#include "outside/services/MessageDialog.h"

TMessages::TMessages(QObject *parent)
    : QObject(parent)
{
}

QString TMessages::Msg(const QString &code) const
{
    for (const QString &line : m_lines) {
        const qsizetype bar = line.indexOf(QLatin1Char('|'));
        if (bar >= 0 && QStringView(line).left(bar) == code)
            return line.mid(bar + 1);
    }
    return {};
}

void TMessages::ShowMsg(const QString &code, int helpContext) const
{
    Q_UNUSED(helpContext);
    MessageDialog::information(Msg(code));
}
