// The connection scheduler's decisions against a scripted pool on a fake clock: what reaches the
// server, in which order, and what the crawl's own requests get, for crawls written as steps.
// "predict a" tells the scheduler a request is coming, "execute a" is the crawl's own request run
// to its answer as the look-ahead control runs it, "run N" lets N milliseconds pass, "seen" notes
// what reached the server so far.
#include "transfer/connectionscheduler.h"
#include "transfer/curlrequest.h"
#include "transfer/originbook.h"

#include "support/scriptedpool.h"

#include <QTest>

using namespace Qt::StringLiterals;
using Reply = ScriptedPool::Reply;
using Scripts = QList<std::pair<QString, QList<Reply>>>;

namespace {

const QString Lines = u"User-Agent: x\r\n"_s;

QString address(const QString& name)
{
    return u"http://h/"_s + name;
}

QStringList namesSent(const ScriptedPool& pool)
{
    QStringList names;
    for (const ScriptedPool::Sent& sent : pool.sentLog())
        names.append(sent.address.mid(address({}).size()));
    return names;
}

struct Crawl {
    explicit Crawl(int connections)
    {
        scheduler.configure(connections);
        scheduler.setFollowRetryAfter(true);
    }

    void turn()
    {
        scheduler.settleDrops();
        scheduler.startWhatMay();
        // As the network thread does, idle, until there is something to start.
        if (scheduler.running() || scheduler.blockedUntil() >= 0)
            scheduler.pumpConnections(10);
        else
            pool.advance(10);
    }
    void run(qint64 milliseconds)
    {
        for (const qint64 until = pool.now() + milliseconds; pool.now() < until;)
            turn();
    }
    // As the look-ahead control executes: served from an identical prediction, else sent afresh.
    QString execute(const QString& name)
    {
        ScheduledRequest* request = scheduler.find(address(name), u"GET"_s, Lines);
        if (!request)
            request = &scheduler.add(address(name), u"GET"_s, Lines, 0, false);
        request->executed = true;
        for (int i = 0; i < 10000 && !request->finished; ++i)
            turn();
        const QString result = name + u' '
            + (request->errorCode ? u"error "_s + QString::number(request->errorCode)
                                  : QString::number(StatusCodeOf(request->headers)));
        scheduler.remove(*request);
        return result;
    }
    void play(const QStringList& steps, qint64& tag)
    {
        for (const QString& step : steps) {
            const QString verb = step.section(u' ', 0, 0);
            const QString what = step.section(u' ', 1);
            if (verb == u"predict"_s)
                scheduler.add(address(what), u"GET"_s, Lines, ++tag, true);
            else if (verb == u"execute"_s)
                results.append(execute(what));
            else if (verb == u"run"_s)
                run(what.toLongLong());
            else if (verb == u"seen"_s)
                results.append(u"seen "_s + namesSent(pool).join(u','));
        }
    }

    ScriptedPool pool;
    RequestPacer pacer { pool.clock() };
    ConnectionScheduler scheduler { pool, pacer };
    QStringList results;
};

} // namespace

class TestConnectionScheduler : public QObject {
    Q_OBJECT
private slots:
    void decisions_data();
    void decisions();
    void originRules_data();
    void originRules();
};

void TestConnectionScheduler::decisions_data()
{
    QTest::addColumn<int>("connections");
    QTest::addColumn<int>("serverLimit"); // connections the server takes at once; 0: any
    QTest::addColumn<Scripts>("scripts");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("sent"); // what reached the server, in order
    QTest::addColumn<QStringList>("results");

    const Reply slow { 200, "s", 500 };
    QTest::newRow("a prediction answers the crawl's request, which is not sent again")
        << 2 << 0 << Scripts {} << QStringList { u"predict a"_s, u"run 50"_s, u"execute a"_s } << QStringList { u"a"_s }
        << QStringList { u"a 200"_s };
    QTest::newRow("the crawl's own request starts before predictions made earlier")
        << 1 << 0 << Scripts {} << QStringList { u"predict a"_s, u"predict b"_s, u"execute c"_s }
        << QStringList { u"c"_s } << QStringList { u"c 200"_s };
    QTest::newRow("the nearest prediction is sent first")
        << 1 << 0 << Scripts {} << QStringList { u"predict a"_s, u"predict b"_s, u"run 100"_s }
        << QStringList { u"a"_s, u"b"_s } << QStringList {};
    QTest::newRow("a running prediction is not cut off for the crawl's request, which waits for a free connection")
        << 2 << 0 << Scripts { { u"b"_s, { slow } } }
        << QStringList { u"predict a"_s, u"predict b"_s, u"run 1"_s, u"execute c"_s, u"execute a"_s, u"execute b"_s }
        << QStringList { u"a"_s, u"b"_s, u"c"_s } << QStringList { u"c 200"_s, u"a 200"_s, u"b 200"_s };
    QTest::newRow("a prediction still connecting gives its connection up to the crawl's request")
        << 1 << 0 << Scripts { { u"a"_s, { Reply { 200, "a", 10, 0, ScriptedPool::NoFault, false, 50 } } } }
        << QStringList { u"predict a"_s, u"run 1"_s, u"execute b"_s, u"execute a"_s } << QStringList { u"b"_s, u"a"_s }
        << QStringList { u"b 200"_s, u"a 200"_s };
    QTest::newRow("a prediction the server never answers gives way after two seconds")
        << 1 << 0 << Scripts { { u"a"_s, { Reply { 0, {}, 10, 0, ScriptedPool::Stall } } } }
        << QStringList { u"execute b"_s, u"predict a"_s, u"run 1"_s, u"execute c"_s }
        << QStringList { u"b"_s, u"a"_s, u"c"_s } << QStringList { u"b 200"_s, u"c 200"_s };
    QTest::newRow("a prediction refused at the connection is sent again, never served")
        << 2 << 0 << Scripts { { u"a"_s, { Reply { 0, {}, 5, 0, ScriptedPool::Reset }, Reply() } } }
        << QStringList { u"predict a"_s, u"run 20"_s, u"execute a"_s } << QStringList { u"a"_s, u"a"_s }
        << QStringList { u"a 200"_s };
    QTest::newRow("a prediction on an HTTP/2 stream the server never took is sent again, never served")
        << 2 << 0 << Scripts { { u"a"_s, { Reply { 0, {}, 5, 0, ScriptedPool::Http2Stream }, Reply() } } }
        << QStringList { u"predict a"_s, u"run 20"_s, u"execute a"_s } << QStringList { u"a"_s, u"a"_s }
        << QStringList { u"a 200"_s };
    QTest::newRow("a 503 with Retry-After to a prediction holds the host and is the crawl's answer")
        << 2 << 0 << Scripts { { u"a"_s, { Reply { 503, "busy", 10, 0, ScriptedPool::NoFault, false, 0, 3 } } } }
        << QStringList { u"predict a"_s, u"run 20"_s, u"predict b"_s, u"run 100"_s, u"seen"_s, u"execute a"_s }
        << QStringList { u"a"_s } << QStringList { u"seen a"_s, u"a 503"_s };
    QTest::newRow("the crawl's own request refused on its only connection gets the refusal as its answer")
        << 1 << 0 << Scripts { { u"a"_s, { Reply { 0, {}, 5, 0, ScriptedPool::Refused } } } }
        << QStringList { u"execute a"_s } << QStringList { u"a"_s } << QStringList { u"a error 7"_s };
    QTest::newRow("a server taking two connections answers a third 503, which the crawl never sees")
        << 3 << 2 << Scripts { { u"a"_s, { slow } }, { u"b"_s, { slow } } }
        << QStringList { u"predict a"_s, u"predict b"_s, u"predict c"_s, u"execute a"_s, u"execute b"_s,
               u"execute c"_s }
        << QStringList { u"a"_s, u"b"_s, u"c"_s, u"c"_s } << QStringList { u"a 200"_s, u"b 200"_s, u"c 200"_s };
    QTest::newRow("a prediction held up while a later one is answered is waited for, never sent again")
        << 2 << 0 << Scripts { { u"b"_s, { Reply { 200, "b", 600 } } } }
        << QStringList { u"predict b"_s, u"run 1"_s, u"predict d"_s, u"run 30"_s, u"execute b"_s, u"execute d"_s }
        << QStringList { u"b"_s, u"d"_s } << QStringList { u"b 200"_s, u"d 200"_s };
    QTest::newRow("the crawl's own request reset while another connection is open is sent again, and answered")
        << 2 << 0
        << Scripts { { u"a"_s, { Reply { 0, {}, 5, 0, ScriptedPool::Reset }, Reply() } }, { u"b"_s, { slow } } }
        << QStringList { u"predict b"_s, u"run 1"_s, u"execute a"_s, u"execute b"_s }
        << QStringList { u"b"_s, u"a"_s, u"a"_s } << QStringList { u"a 200"_s, u"b 200"_s };
    QTest::newRow("an HTTP/2 connection carries the predictions side by side")
        << 1 << 0 << Scripts { { u"a"_s, { Reply { 200, "a", 10, 0, ScriptedPool::NoFault, true } } } }
        << QStringList { u"execute a"_s, u"predict b"_s, u"predict c"_s, u"run 5"_s, u"execute b"_s, u"execute c"_s }
        << QStringList { u"a"_s, u"b"_s, u"c"_s } << QStringList { u"a 200"_s, u"b 200"_s, u"c 200"_s };
}

void TestConnectionScheduler::decisions()
{
    QFETCH(int, connections);
    QFETCH(int, serverLimit);
    QFETCH(Scripts, scripts);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, sent);
    QFETCH(QStringList, results);
    Crawl crawl(connections);
    for (const auto& [name, replies] : scripts)
        crawl.pool.script(address(name), replies);
    if (serverLimit > 0)
        crawl.pool.limitConnections(serverLimit);
    qint64 tag = 0;
    crawl.play(steps, tag);
    QCOMPARE(crawl.results, results);
    QCOMPARE(namesSent(crawl.pool), sent);
}

void TestConnectionScheduler::originRules_data()
{
    QTest::addColumn<qint64>("fastestMs");
    QTest::addColumn<qint64>("sentAt"); // the hop in progress; -1: held for the interval
    QTest::addColumn<qint64>("now");
    QTest::addColumn<bool>("stalled");

    QTest::newRow("seven times the quickest answer is not held up")
        << qint64(40) << qint64(1000) << qint64(1280) << false;
    QTest::newRow("eight times the quickest answer is held up") << qint64(40) << qint64(1000) << qint64(1320) << true;
    QTest::newRow("a quick origin still gets the floor of 100 ms")
        << qint64(2) << qint64(1000) << qint64(1099) << false;
    QTest::newRow("an origin that answered nothing yet gets the floor")
        << qint64(-1) << qint64(0) << qint64(100) << true;
    QTest::newRow("an origin whose answers take their own time is only slow")
        << qint64(40) << qint64(1000) << qint64(1900) << false;
    QTest::newRow("a redirect waiting for the interval is never held up")
        << qint64(2) << qint64(-1) << qint64(5000) << false;
}

void TestConnectionScheduler::originRules()
{
    QFETCH(qint64, fastestMs);
    QFETCH(qint64, sentAt);
    QFETCH(qint64, now);
    OriginState origin;
    origin.fastestMs = fastestMs;
    origin.slowestMs = QByteArrayView(QTest::currentDataTag()).contains("own time") ? 500 : fastestMs;
    QTEST(OriginBook::stalled(origin, sentAt, now), "stalled");
    // A prediction gives way no sooner than two seconds, and not while it is held up by the interval.
    QCOMPARE(OriginBook::givesWayAt(origin, sentAt),
        sentAt < 0 ? -1 : sentAt + std::max<qint64>(2000, 2 * origin.slowestMs));
    QCOMPARE(OriginBook::limitAfterRefusal(6, 2), 2);
    QCOMPARE(OriginBook::limitAfterRefusal(6, 0), 5);
    QCOMPARE(OriginBook::limitAfterRefusal(1, 0), 1);
}

QTEST_GUILESS_MAIN(TestConnectionScheduler)
#include "tst_connectionscheduler.moc"
