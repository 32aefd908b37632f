#include "platform/ui/ErrorReport.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

namespace ErrorReport {
namespace {

Sink &sink()
{
    static Sink instance;
    return instance;
}

QPointer<QWidget> &dialogParent()
{
    static QPointer<QWidget> parent;
    return parent;
}

} // namespace

void show(const QString &message)
{
    if (sink()) {
        sink()(message);
        return;
    }
    QWidget *parent = dialogParent() ? dialogParent().data() : QApplication::activeWindow();
    QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(), message, QMessageBox::Ok, parent);
    box.exec();
}

void setSink(Sink newSink)
{
    sink() = std::move(newSink);
}

void setDialogParent(QWidget *parent)
{
    dialogParent() = parent;
}

} // namespace ErrorReport
