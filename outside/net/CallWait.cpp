#include "outside/net/CallWait.h"

#include <thread>

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include "outside/net/AnswerStream.h"
#include "outside/net/InputGate.h"

namespace CallWait {
namespace {

bool onApplicationThread()
{
    auto *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

} // namespace

void run(const std::function<void()> &work, const Options &options)
{
    if (!onApplicationThread()) {
        work();
        return;
    }
    QEventLoop loop;
    QTimer progress;
    int shownRows = 0;
    if (options.stream && options.rowsReceived) {
        QObject::connect(&progress, &QTimer::timeout, &loop, [&options, &shownRows] {
            if (options.stream->rows() != shownRows)
                options.rowsReceived(shownRows = options.stream->rows());
        });
        progress.start(150);
    }
    std::thread worker([&] {
        work();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    if (options.cancel) {
        // Input reaches only the busy panel (its "Cancelar"); Escape stops the call.
        const InputGate gate(options.cancel);
        loop.exec(QEventLoop::AllEvents);
    } else {
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    worker.join();
}

void pause(int ms)
{
    if (!onApplicationThread()) {
        QThread::msleep(ulong(ms));
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

} // namespace CallWait
