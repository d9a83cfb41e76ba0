// The look-ahead transfer control against a scripted server: a request served from its prediction
// looks exactly as the same request run directly (states, headers, body, error), without being sent
// twice, unless its connection failed: that one is never served and is sent again; predictions with other lines are not
// used; dropped ones are gone; the executed request always gets a connection.
#include "transfer/lookaheadtransfercontrol.h"
#include "transfer/spooledbody.h"

#include "support/scriptedhttpserver.h"

#include <QTest>

using namespace Qt::StringLiterals;
using Reply = ScriptedHttpServer::Reply;

namespace {

struct Result {
    QList<int> finalStates; // the states after the last ResponseReceiving
    QByteArray headers;
    QByteArray body;
    int errorCode = 0;
    QString errorText;
    bool operator==(const Result&) const = default;
};

// Runs one request to its end as the crawl does, reading the body in the state handler.
Result run(TransferControl& control, const QString& address, const QString& verb, const QString& lines)
{
    Result result;
    control.setStateHandler([&](int state) {
        if (state == TransferControl::ResponseReceiving || state == TransferControl::ResponseCompleted)
            for (QByteArrayView piece = control.nextBodyPiece(); !piece.isEmpty(); piece = control.nextBodyPiece())
                result.body += piece;
        if (state != TransferControl::ResponseReceiving)
            result.finalStates.append(state);
    });
    control.execute(address, verb, {}, lines);
    while (control.busy())
        control.pump(10);
    result.headers = control.responseHeaders();
    result.errorCode = control.lastErrorCode();
    result.errorText = control.lastErrorText();
    control.setStateHandler({});
    return result;
}

QByteArray bytes(int size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        data[i] = char((i * 13 + i / 251) % 256);
    return data;
}

// Predictions advance while the control is pumped, as they do while the crawl waits for a request.
bool pumpUntilRequests(TransferControl& control, const ScriptedHttpServer& server, int count)
{
    for (int i = 0; i < 1000; ++i) {
        control.pump(10);
        if (server.waitForRequests(count, 10))
            return true;
    }
    return false;
}

const QString Lines = u"User-Agent: \"x\"\r\nHost: 127.0.0.1\r\n"_s;

} // namespace

class TestLookAheadTransferControl : public QObject {
    Q_OBJECT
private slots:
    void aPredictionServesTheRequestAsIfRunDirectly_data();
    void aPredictionServesTheRequestAsIfRunDirectly();
    void otherHeaderLinesAreNotServedFromAPrediction();
    void droppedPredictionsAreGone();
    void theExecutedRequestAlwaysGetsAConnection();
    void predictionsJustSentAreWaitedFor();
    void waitingBodiesShareTheirMemory();
};

void TestLookAheadTransferControl::aPredictionServesTheRequestAsIfRunDirectly_data()
{
    QTest::addColumn<Reply>("reply");
    QTest::addColumn<QString>("verb");
    QTest::addColumn<bool>("sentAgain"); // the prediction failed with its connection
    QTest::newRow("a small body") << Reply { ScriptedHttpServer::response(200, "OK", {}, "hello") } << u"GET"_s
                                  << false;
    QTest::newRow("a body larger than the memory a waiting prediction keeps")
        << Reply { ScriptedHttpServer::response(200, "OK", {}, bytes(3 * 1024 * 1024 + 17)) } << u"GET"_s << false;
    QTest::newRow("a body larger than the memory waiting predictions share")
        << Reply { ScriptedHttpServer::response(200, "OK", {}, bytes(7 * 1024 * 1024 + 5)) } << u"GET"_s << false;
    QTest::newRow("a chunked body") << Reply { ScriptedHttpServer::response(
        200, "OK", { { "Transfer-Encoding", "chunked" } }, ScriptedHttpServer::chunked(bytes(70000), 3000)) }
                                    << u"GET"_s << false;
    QTest::newRow("the head alone") << Reply { ScriptedHttpServer::response(200, "OK", {}, "body") } << u"HEAD"_s
                                    << false;
    QTest::newRow("an error answer") << Reply { ScriptedHttpServer::response(404, "Not Found", {}, "<p>no</p>") }
                                     << u"GET"_s << false;
    QTest::newRow("a connection closed without an answer")
        << ScriptedHttpServer::nothingThenClose() << u"GET"_s << true;
    QTest::newRow("a connection closed in mid-body")
        << Reply { ScriptedHttpServer::response(200, "OK", {}, bytes(5000)), 0, 3000 } << u"GET"_s << true;
}

void TestLookAheadTransferControl::aPredictionServesTheRequestAsIfRunDirectly()
{
    QFETCH(Reply, reply);
    QFETCH(QString, verb);
    QFETCH(bool, sentAgain);
    ScriptedHttpServer server;
    QVERIFY(server.start());
    server.route("/x", reply);
    const QString address = server.url(u"/x"_s);

    LookAheadTransferControl direct;
    const Result expected = run(direct, address, verb, Lines);
    // libcurl may try again itself once when a connection closes without an answer.
    const int sent = int(server.requests().size());

    LookAheadTransferControl control;
    control.setConnections(6);
    control.predict(address, verb, Lines, 1);
    QVERIFY(pumpUntilRequests(control, server, 2 * sent));
    for (int i = 0; i < 30; ++i) {
        control.pump(10);
        QTest::qWait(5);
    }
    const Result served = run(control, address, verb, Lines);
    QCOMPARE(served.finalStates, expected.finalStates);
    QCOMPARE(served.headers, expected.headers);
    QCOMPARE(served.body.size(), expected.body.size());
    QVERIFY(served.body == expected.body);
    QCOMPARE(served.errorCode, expected.errorCode);
    QCOMPARE(server.requests().size(), (sentAgain ? 3 : 2) * sent);
    QCOMPARE(control.pendingPredictions(), 0);
}

void TestLookAheadTransferControl::otherHeaderLinesAreNotServedFromAPrediction()
{
    ScriptedHttpServer server;
    QVERIFY(server.start());
    server.route("/x", Reply { ScriptedHttpServer::response(200, "OK", {}, "x") });
    LookAheadTransferControl control;
    control.setConnections(3);
    control.predict(server.url(u"/x"_s), u"GET"_s, u"Range: bytes=0-9\r\n"_s + Lines, 1);
    const Result result = run(control, server.url(u"/x"_s), u"GET"_s, Lines);
    QCOMPARE(result.body, "x"_ba);
    QCOMPARE(control.pendingPredictions(), 1);
    // The network thread sends the prediction on its own time.
    QVERIFY(pumpUntilRequests(control, server, 2));
    control.dropPredictions(1);
    QCOMPARE(control.pendingPredictions(), 0);
    QCOMPARE(server.requests().size(), 2);
    QVERIFY(
        server.requests().constLast().head.contains("Range") != server.requests().constFirst().head.contains("Range"));
}

void TestLookAheadTransferControl::droppedPredictionsAreGone()
{
    ScriptedHttpServer server;
    QVERIFY(server.start());
    server.route("/silent", ScriptedHttpServer::silence());
    LookAheadTransferControl control;
    control.setConnections(4);
    for (int tag = 1; tag <= 3; ++tag)
        control.predict(
            server.url(u"/silent"_s), u"GET"_s, Lines + u"X-Tag: "_s + QString::number(tag) + u"\r\n"_s, tag);
    QVERIFY(pumpUntilRequests(control, server, 3));
    control.dropPredictions(2);
    QCOMPARE(control.pendingPredictions(), 2);
    control.dropAllPredictions();
    QCOMPARE(control.pendingPredictions(), 0);
}

void TestLookAheadTransferControl::theExecutedRequestAlwaysGetsAConnection()
{
    ScriptedHttpServer server;
    QVERIFY(server.start());
    server.route("/silent", ScriptedHttpServer::silence());
    server.route("/x", Reply { ScriptedHttpServer::response(200, "OK", {}, "x") });
    LookAheadTransferControl control;
    control.setConnections(2);
    control.predict(server.url(u"/silent"_s), u"GET"_s, Lines, 5);
    control.predict(server.url(u"/silent"_s), u"HEAD"_s, Lines, 6);
    QVERIFY(pumpUntilRequests(control, server, 2));
    const Result result = run(control, server.url(u"/x"_s), u"GET"_s, Lines);
    QCOMPARE(result.body, "x"_ba);
    QCOMPARE(control.pendingPredictions(), 2); // the one that gave way waits to start again
}

void TestLookAheadTransferControl::predictionsJustSentAreWaitedFor()
{
    // The origin answers in 200 ms at best: cut off, a prediction 150 ms from its answer is sent again.
    ScriptedHttpServer server;
    QVERIFY(server.start());
    const QByteArray ok = ScriptedHttpServer::response(200, "OK", {}, "x");
    server.route("/first", Reply { ok, 200 });
    server.route("/a", Reply { ok, 150 });
    server.route("/b", Reply { ok, 150 });
    server.route("/x", Reply { ok });
    LookAheadTransferControl control;
    control.setConnections(2);
    QCOMPARE(run(control, server.url(u"/first"_s), u"GET"_s, Lines).body, "x"_ba);
    control.predict(server.url(u"/a"_s), u"GET"_s, Lines, 5);
    control.predict(server.url(u"/b"_s), u"GET"_s, Lines, 6);
    QVERIFY(pumpUntilRequests(control, server, 3));
    for (const QString& path : { u"/x"_s, u"/a"_s, u"/b"_s })
        QCOMPARE(run(control, server.url(path), u"GET"_s, Lines).body, "x"_ba);
    QStringList targets;
    for (const ScriptedHttpServer::Request& request : server.requests())
        targets.append(QString::fromLatin1(request.target()));
    QCOMPARE(targets, (QStringList { u"/first"_s, u"/a"_s, u"/b"_s, u"/x"_s }));
}

void TestLookAheadTransferControl::waitingBodiesShareTheirMemory()
{
    MemoryBudget shared(1000);
    SpooledBody first(100, &shared);
    SpooledBody second(100, &shared);
    first.expect(900);
    second.expect(900); // no room left: beyond its own 100 bytes it goes to the file
    QCOMPARE(shared.used(), 800);
    QVERIFY(first.append(bytes(900)) && second.append(bytes(900)));
    QVERIFY(first.inMemory() && !second.inMemory());
    QCOMPARE(first.take(), bytes(900));
    QCOMPARE(shared.used(), 0);
    auto third = std::make_unique<SpooledBody>(100, &shared);
    third->expect(300);
    QCOMPARE(shared.used(), 200);
    third.reset(); // a body forgotten unread gives its share back too
    QCOMPARE(shared.used(), 0);
    SpooledBody none(100, &shared); // and one whose bytes never came, once read
    none.expect(500);
    QCOMPARE(none.take(), QByteArray());
    QCOMPARE(shared.used(), 0);
}

QTEST_GUILESS_MAIN(TestLookAheadTransferControl)
#include "tst_lookaheadtransfercontrol.moc"
