#include "host/ScreenshotScript.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstring>

namespace {

// "MS:TEXT" into its delay and its text; a malformed entry is reported and skipped.
bool split(const QString &entry, int *ms, QString *text)
{
    const qsizetype colon = entry.indexOf(QLatin1Char(':'));
    bool ok = colon > 0;
    *ms = ok ? entry.left(colon).toInt(&ok) : 0;
    *text = entry.mid(colon + 1);
    if (!ok || text->isEmpty())
        std::fprintf(stderr, "fas-host: ignored \"%s\" (use MS:VALUE)\n", qPrintable(entry));
    return ok && !text->isEmpty();
}

} // namespace

ScreenshotScript::ScreenshotScript(const QStringList &shots, const QStringList &clicks, int quitAfterMs,
                                   QObject *parent)
    : QObject(parent)
{
    int ms = 0;
    QString text;
    for (const QString &entry : shots) {
        if (split(entry, &ms, &text))
            QTimer::singleShot(ms, this, [text] { shoot(text); });
    }
    for (const QString &entry : clicks) {
        if (split(entry, &ms, &text))
            QTimer::singleShot(ms, this, [text] { click(text); });
    }
    if (quitAfterMs > 0) {
        QTimer::singleShot(quitAfterMs, this, [] {
            std::fprintf(stderr, "fas-host: peak RSS %s\n", qPrintable(peakResidentSet()));
            QCoreApplication::exit(0);
        });
    }
}

QString ScreenshotScript::peakResidentSet()
{
    return processStatus("VmHWM:");
}

// A line of /proc/self/status ("VmHWM:", "VmRSS:"), its value as written ("123 kB").
QString ScreenshotScript::processStatus(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return QString::fromLatin1(line.mid(qsizetype(std::strlen(key))).simplified());
    }
    return QStringLiteral("unknown");
}

void ScreenshotScript::shoot(const QString &file)
{
    QScreen *screen = QGuiApplication::primaryScreen();
    // The part of the screen the program's windows cover, the dialogs included.
    QRect shown;
    for (const QWidget *window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && window->windowType() != Qt::ToolTip)
            shown |= window->frameGeometry();
    }
    const bool saved = screen && !shown.isEmpty()
                       && screen->grabWindow(0, shown.x(), shown.y(), shown.width(), shown.height()).save(file);
    std::fprintf(stderr, "fas-host: screenshot %s %s\n", qPrintable(file), saved ? "saved" : "FAILED");
}

void ScreenshotScript::click(const QString &name)
{
    QWidget *scope = QApplication::activeModalWidget();
    QAbstractButton *button = nullptr;
    if (scope)
        button = scope->findChild<QAbstractButton *>(name);
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (qsizetype i = 0; !button && i < windows.size(); ++i)
        button = windows.at(i)->findChild<QAbstractButton *>(name);
    if (!button) {
        triggerAction(name);
        return;
    }
    // The click's handlers run before click() returns (a remote call waits in its
    // own event loop); the windows are then painted at once, so the time printed
    // runs from the click to the result on the screen.
    QElapsedTimer timer;
    timer.start();
    button->click();
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window->isVisible())
            window->repaint();
    }
    std::fprintf(stderr, "fas-host: click %s done in %lld ms (handled and painted)\n", qPrintable(name),
                 static_cast<long long>(timer.elapsed()));
    std::fprintf(stderr, "fas-host: resident set %s after %s\n", qPrintable(processStatus("VmRSS:")), qPrintable(name));
}

void ScreenshotScript::triggerAction(const QString &name)
{
    QAction *action = nullptr;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (qsizetype i = 0; !action && i < windows.size(); ++i)
        action = windows.at(i)->findChild<QAction *>(name);
    if (!action) {
        std::fprintf(stderr, "fas-host: click %s NOT FOUND\n", qPrintable(name));
        return;
    }
    // A menu entry's dialog runs its own event loop here, as a click's would.
    action->trigger();
    std::fprintf(stderr, "fas-host: click %s done (menu entry)\n", qPrintable(name));
}
