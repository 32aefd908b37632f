#pragma once

#include <QObject>
#include <QStringList>

// A debugging aid of the host's command line, for looking at the screens on a
// display nobody watches (xvfb-run): at given moments after start it saves a
// picture of the part of the screen the program's windows cover, clicks a
// button found by object name (in the modal dialog when one is open, else
// anywhere) or, when no button has the name, triggers the menu entry that has
// it, and quits. A click reports how
// long its handling and the painting after it took; quitting reports the
// process's peak resident set (the benchmarks read both).
//   --screenshot MS:FILE   --click MS:NAME   --quit-after MS
class ScreenshotScript : public QObject
{
    Q_OBJECT
public:
    ScreenshotScript(const QStringList &shots, const QStringList &clicks, int quitAfterMs, QObject *parent = nullptr);

private:
    static void shoot(const QString &file);
    static void click(const QString &name);
    static void triggerAction(const QString &name);
    static QString peakResidentSet();
    static QString processStatus(const char *key);
};
