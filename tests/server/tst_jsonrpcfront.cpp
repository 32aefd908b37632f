#include <QtTest>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "server/rpc/JsonRpcFront.h"
#include "server/rpc/MethodRegistry.h"
#include "server/rpc/RequestContext.h"

// The JSON-RPC front over a registry of stand-in methods. The batch limits, with
// methods whose answers have a known size: a batch never runs more calls than
// allowed, and stops running calls once its answer is large enough. The registry:
// what an unknown method's answer lists, and the request's context reaching the
// method that runs.
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

    static JsonRpcFront::Reply handle(const JsonRpcFront &front, const QByteArray &body,
                                      const RequestContext &context = RequestContext())
    {
        return front.handle(context, std::string_view(body.constData(), size_t(body.size())));
    }

    // A JSON text of `size` letters, written a megabyte at a time.
    class TextInParts final : public RpcResultStream
    {
    public:
        explicit TextInParts(size_t size)
            : m_left(size)
        {
        }
        bool fill(std::string &out) override
        {
            if (m_first)
                out.push_back('"');
            m_first = false;
            const size_t part = std::min(m_left, size_t(1) << 20);
            out.append(part, 'x');
            m_left -= part;
            if (m_left == 0)
                out.push_back('"');
            return m_left > 0;
        }
        int rows() const override { return 1; }

    private:
        size_t m_left;
        bool m_first = true;
    };

    static QJsonObject errorOf(const JsonRpcFront::Reply &reply)
    {
        return QJsonDocument::fromJson(QByteArray::fromStdString(reply.body)).object().value(u"error").toObject();
    }

private slots:
    void batchLimits_data()
    {
        QTest::addColumn<int>("calls");
        QTest::addColumn<int>("answerBytes");
        QTest::addColumn<bool>("streamed");   // the answer comes in parts of 1 MB
        QTest::addColumn<bool>("clientGone"); // the request's client has gone before it runs
        QTest::addColumn<int>("run");         // calls that ran
        QTest::addColumn<int>("answered");    // calls answered with their result
        QTest::addColumn<int>("refusedAs");   // code of the calls not answered, 0: none
        const int mb = 1 << 20;
        QTest::newRow("small batch, small answers") << 16 << 100 << false << false << 16 << 16 << 0;
        QTest::newRow("one call too many") << 17 << 100 << false << false << 0 << 0 << -32005;
        QTest::newRow("answers of 4 MB: four pass 16 MB") << 16 << 4 * mb << false << false << 4 << 4 << -32006;
        QTest::newRow("one answer above the limit still answered")
            << 3 << 20 * mb << false << false << 1 << 1 << -32006;
        // A streamed answer refused at the limit has spent the budget all the same.
        QTest::newRow("streamed answer past the limit: no other call runs")
            << 16 << 20 * mb << true << false << 1 << 0 << -32006;
        QTest::newRow("streamed answers of 4 MB") << 16 << 4 * mb << true << false << 4 << 4 << -32006;
        QTest::newRow("client gone: no call runs") << 16 << 100 << false << true << 0 << 0 << -32021;
    }

    void batchLimits()
    {
        QFETCH(int, calls);
        QFETCH(int, answerBytes);
        QFETCH(bool, streamed);
        QFETCH(bool, clientGone);
        QFETCH(int, run);
        QFETCH(int, answered);
        QFETCH(int, refusedAs);
        MethodRegistry methods;
        int ran = 0;
        methods.add("Big", AccessRight::Anyone, [&](const RpcParams &, const RequestContext &) {
            ++ran;
            if (streamed)
                return JsonRpcFront::Result{{}, 1, std::make_shared<TextInParts>(size_t(answerBytes))};
            return JsonRpcFront::Result{'"' + std::string(size_t(answerBytes), 'x') + '"', 1, {}};
        });
        const JsonRpcFront front(methods);
        RequestContext context;
        if (clientGone)
            context.requestStop();
        const JsonRpcFront::Reply reply = handle(front, batchOf(calls, "Big"), context);
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
            if (i < answered)
                QVERIFY(one.contains(QStringLiteral("result")));
            else
                QCOMPARE(one.value(QStringLiteral("error")).toObject().value(QStringLiteral("code")).toInt(),
                         refusedAs);
        }
    }

    void unknownMethod_data()
    {
        QTest::addColumn<QStringList>("registered");
        QTest::addColumn<QByteArray>("called");
        QTest::addColumn<QString>("message");
        const QStringList service{"GetFaturamento", "GeraNF", "GeraInvoice"};
        QTest::newRow("the service's three")
            << service << QByteArray("GeraNota")
            << "Método desconhecido: GeraNota. Os métodos são GetFaturamento, GeraNF e "
               "GeraInvoice.";
        QTest::newRow("names are case-sensitive")
            << service << QByteArray("geranf")
            << "Método desconhecido: geranf. Os métodos são GetFaturamento, GeraNF "
               "e GeraInvoice.";
        QTest::newRow("two") << QStringList{"A", "B"} << QByteArray("C")
                             << "Método desconhecido: C. Os métodos são A e B.";
        QTest::newRow("one") << QStringList{"A"} << QByteArray("") << "Método desconhecido: . Os métodos são A.";
    }

    void unknownMethod()
    {
        QFETCH(QStringList, registered);
        QFETCH(QByteArray, called);
        QFETCH(QString, message);
        MethodRegistry methods;
        for (const QString &name : registered)
            methods.add(name.toStdString(), AccessRight::Consulta, [](const RpcParams &, const RequestContext &) {
                return JsonRpcFront::Result{"1", -1, {}};
            });
        const JsonRpcFront::Reply reply = handle(JsonRpcFront(methods),
                                                 R"({"jsonrpc":"2.0","id":7,"method":")" + called + R"("})");
        QCOMPARE(errorOf(reply).value(u"code").toInt(), -32601);
        QCOMPARE(errorOf(reply).value(u"message").toString(), message);
        QCOMPARE(reply.errorCode, -32601);
    }

    void registry()
    {
        MethodRegistry methods;
        std::string seenKey;
        methods.add("Gera", AccessRight::Faturamento, [&seenKey](const RpcParams &, const RequestContext &context) {
            seenKey = context.idempotencyKey();
            return JsonRpcFront::Result{"true", 1, {}};
        });
        QVERIFY_THROWS_EXCEPTION(std::logic_error, methods.add("Gera", AccessRight::Anyone, {}));
        QCOMPARE(methods.find("Gera")->required, AccessRight::Faturamento);
        QVERIFY(!methods.find("gera"));

        RequestContext context("127.0.0.1");
        context.setIdempotencyKey("chave-1");
        const JsonRpcFront::Reply reply = handle(JsonRpcFront(methods), R"({"jsonrpc":"2.0","id":1,"method":"Gera"})",
                                                 context);
        QCOMPARE(QByteArray::fromStdString(reply.body), QByteArray(R"({"jsonrpc":"2.0","id":1,"result":true})"));
        QCOMPARE(seenKey, std::string("chave-1"));
        QCOMPARE(reply.method, std::string("Gera"));
    }
};

QTEST_GUILESS_MAIN(TstJsonRpcFront)
#include "tst_jsonrpcfront.moc"
