#include "outside/services/MessageDialog.h"

#include <QApplication>
#include <QMessageBox>

namespace MessageDialog {
namespace {

Recorder &recorder()
{
    static Recorder instance;
    return instance;
}

void show(Kind kind, const QString &text)
{
    if (recorder()) {
        recorder()(kind, text);
        return;
    }
    QMessageBox box(kind == Kind::Error ? QMessageBox::Critical : QMessageBox::Information,
                    QApplication::applicationDisplayName(), text, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

} // namespace

void information(const QString &text)
{
    show(Kind::Information, text);
}

void error(const QString &text)
{
    show(Kind::Error, text);
}

void setRecorder(Recorder newRecorder)
{
    recorder() = std::move(newRecorder);
}

} // namespace MessageDialog
