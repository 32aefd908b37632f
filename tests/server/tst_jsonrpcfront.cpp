#include <QtTest>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "JsonRpcFront.h"

// The batch limits of the JSON-RPC front, with methods whose answers have a known
// size: a batch never runs more calls than allowed, and stops running calls once
// its answer is large enough.
class TstJsonRpcFront : public QObject
{
    Q_OBJECT

    static QByteArray batchOf(int calls, const char *method)
    {
        QByteArray batch = "[";
        for (int i = 0; i < calls; ++i)
            batch += (i ? "," : "") + QByteArray("{\"jsonrpc\":\"2.0\",\"id\":") + QByteArray::number(i + 1)
                     + ",\"method\":\"" + method + "\"}";
        return batch + "]";
    }

private slots:
    void batchLimits_data()
    {
        QTest::addColumn<int>("calls");
        QTest::addColumn<int>("answerBytes");
        QTest::addColumn<int>("run");       // calls that ran
        QTest::addColumn<int>("refusedAs"); // code of the calls that did not run, 0: none
        const int mb = 1 << 20;
        QTest::newRow("small batch, small answers") << 16 << 100 << 16 << 0;
        QTest::newRow("one call too many") << 17 << 100 << 0 << -32005;
        QTest::newRow("answers of 4 MB: four pass 16 MB") << 16 << 4 * mb << 4 << -32006;
        QTest::newRow("one answer above the limit still answered") << 3 << 20 * mb << 1 << -32006;
    }

    void batchLimits()
    {
        QFETCH(int, calls);
        QFETCH(int, answerBytes);
        QFETCH(int, run);
        QFETCH(int, refusedAs);
        JsonRpcFront front;
        int ran = 0;
        front.addMethod("Big", [&](const RpcParams &) {
            ++ran;
            return JsonRpcFront::Result{'"' + std::string(size_t(answerBytes), 'x') + '"', 1, {}};
        });
        const QByteArray batch = batchOf(calls, "Big");
        const JsonRpcFront::Reply reply = front.handle(std::string_view(batch.constData(), size_t(batch.size())));
        QCOMPARE(ran, run);
        const QJsonDocument answer = QJsonDocument::fromJson(QByteArray::fromStdString(reply.body));
        if (refusedAs == -32005) {
            QCOMPARE(answer.object().value(QStringLiteral("error")).toObject().value(QStringLiteral("code")).toInt(),
                     refusedAs);
            return;
        }
        const QJsonArray answers = answer.array();
        QCOMPARE(answers.size(), calls); // every call with an id is answered
        for (int i = 0; i < calls; ++i) {
            const QJsonObject one = answers.at(i).toObject();
            QCOMPARE(one.value(QStringLiteral("id")).toInt(), i + 1);
            if (i < run)
                QVERIFY(one.contains(QStringLiteral("result")));
            else
                QCOMPARE(one.value(QStringLiteral("error")).toObject().value(QStringLiteral("code")).toInt(), refusedAs);
        }
    }
};

QTEST_GUILESS_MAIN(TstJsonRpcFront)
#include "tst_jsonrpcfront.moc"
