#include "tests/support/CallWatch.h"

#include <QObject>

#include "outside/net/TNetConnection.h"
#include "outside/services/Showavi.h"

namespace CallWatch {
namespace {

const char *const RecorderName = "callWatchRecorder";

class Recorder : public QObject
{
public:
    explicit Recorder(TNetConnection *connection)
        : QObject(connection)
    {
        setObjectName(QLatin1String(RecorderName));
        connect(connection, &TNetConnection::Sending, this,
                [this](const QString &method, const QByteArray &params) { last = {method, params}; });
    }
    Request last;
};

Recorder *recorderOf(TNetConnection *connection)
{
    return connection->findChild<Recorder *>(QLatin1String(RecorderName), Qt::FindDirectChildrenOnly);
}

} // namespace

void watch(TNetConnection *connection)
{
    if (!recorderOf(connection))
        new Recorder(connection);
}

Request lastRequest(TNetConnection *connection)
{
    const Recorder *recorder = recorderOf(connection);
    return recorder ? recorder->last : Request{};
}

int busyAnimations()
{
    static int count = 0;
    static const bool listening = [] {
        Showavi::SetActivationListener([] { ++count; });
        return true;
    }();
    Q_UNUSED(listening);
    return count;
}

} // namespace CallWatch
