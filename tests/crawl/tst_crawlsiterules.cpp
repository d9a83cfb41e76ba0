// What sites ask of a crawl, against the scripted server: waits they ask for with 429 and 503,
// robots.txt with its Crawl-delay, and cookies.
#include "records/logs.h"
#include "records/recordline.h"
#include "settings/settingskeys.h"

#include "support/crawlharness.h"
#include "support/scriptedhttpserver.h"

#include <QTest>
#include <algorithm>

using namespace Qt::StringLiterals;
using Reply = ScriptedHttpServer::Reply;

namespace {

Reply answer(int status, const QByteArray& type, const QByteArray& body, const ScriptedHttpServer::Headers& extra = {})
{
    return { ScriptedHttpServer::response(
        status, "X", ScriptedHttpServer::Headers { { "Content-Type", type } } + extra, body) };
}

// The arrival times of the requests whose request line starts with start.
QList<qint64> arrivals(const ScriptedHttpServer& server, const QByteArray& start)
{
    QList<qint64> times;
    for (const ScriptedHttpServer::Request& request : server.requests())
        if (request.head.startsWith(start))
            times.append(request.arrivedMs);
    return times;
}

} // namespace

class TestCrawlSiteRules : public QObject {
    Q_OBJECT
private slots:
    void init();
    void anAnswerAskingToWaitIsAskedAgainAfterTheWait_data();
    void anAnswerAskingToWaitIsAskedAgainAfterTheWait();
    void aStopEndsTheWaitAndAResumeAsksAgain();
    void otherHostsGoOnDuringAWait();

private:
    std::unique_ptr<ScriptedHttpServer> m_server;
    std::unique_ptr<CrawlHarness> m_crawl;
};

void TestCrawlSiteRules::init()
{
    m_server = std::make_unique<ScriptedHttpServer>();
    QVERIFY(m_server->start());
    m_crawl = std::make_unique<CrawlHarness>();
    m_crawl->settings().save(SettingsKeys::SearchType, 2);
    m_crawl->settings().save(SettingsKeys::ListViewCheck, 0);
    m_crawl->settings().save(SettingsKeys::Connections, 1);
}

void TestCrawlSiteRules::anAnswerAskingToWaitIsAskedAgainAfterTheWait_data()
{
    QTest::addColumn<bool>("follow");
    QTest::addColumn<QList<QByteArray>>("waits"); // the first answers to the probe of a.gif
    QTest::addColumn<int>("probes");
    QTest::addColumn<int>("leastGapMs"); // between the first two probes, as the server saw them
    QTest::addColumn<QString>("countdown");
    const auto wait = [](int status, const QByteArray& retryAfter, const QByteArray& date = {}) {
        ScriptedHttpServer::Headers headers { { "Retry-After", retryAfter } };
        if (!date.isEmpty())
            headers.append({ "Date", date });
        return ScriptedHttpServer::response(status, "Wait", headers);
    };
    QTest::newRow("a 429 is waited out for the seconds it names, then asked again")
        << true << QList<QByteArray> { wait(429, "1") } << 2 << 1000 << u"待機中（サーバーの指示）1秒"_s;
    QTest::newRow("a 503 until its date, read against its own Date")
        << true << QList<QByteArray> { wait(503, "Mon, 07 Dec 2026 09:00:02 GMT", "Mon, 07 Dec 2026 09:00:00 GMT") }
        << 2 << 2000 << u"待機中（サーバーの指示）2秒"_s;
    QTest::newRow("after three resends the fourth answer stands as an error answer")
        << true << QList<QByteArray>(4, wait(429, "0")) << 4 << 0 << QString();
    QTest::newRow("turned off, the first answer stands")
        << false << QList<QByteArray> { wait(429, "1") } << 1 << 0 << QString();
}

void TestCrawlSiteRules::anAnswerAskingToWaitIsAskedAgainAfterTheWait()
{
    QFETCH(bool, follow);
    QFETCH(QList<QByteArray>, waits);
    QFETCH(int, probes);
    QFETCH(int, leastGapMs);
    QFETCH(QString, countdown);
    ScriptedHttpServer& server = *m_server;
    server.route("/", answer(200, "text/html", "<img src=a.gif>"));
    for (const QByteArray& bytes : waits)
        server.enqueue({ bytes });
    server.enqueue(
        { ScriptedHttpServer::response(200, "OK", { { "Content-Type", "image/gif" }, { "Content-Length", "3" } }) });
    server.enqueue(answer(200, "image/gif", "GIF"));
    m_crawl->settings().save(SettingsKeys::FollowRetryAfter, follow ? 1 : 0);
    QCOMPARE(m_crawl->start(server.url(u"/"_s)).kind, CrawlOutcome::Finished);

    const QList<qint64> times = arrivals(server, "HEAD /a.gif ");
    QCOMPARE(times.size(), probes);
    if (probes > 1)
        QVERIFY2(times[1] - times[0] >= leastGapMs - 20, qPrintable(QString::number(times[1] - times[0])));
    const bool saved = probes < 4 && follow;
    QCOMPARE(m_crawl->mirroredFiles().value(u"a.gif"_s), saved ? "GIF"_ba : QByteArray());
    QCOMPARE(m_crawl->logLines(ErrorResponseLogName).size(), saved ? 0 : 2);
    const QStringList& shown = m_crawl->host.currentAddresses;
    QCOMPARE(std::any_of(shown.cbegin(), shown.cend(), [](const QString& s) { return s.startsWith(u"待機中"_s); }),
        !countdown.isEmpty());
    QVERIFY(countdown.isEmpty() || shown.contains(countdown));
}

void TestCrawlSiteRules::aStopEndsTheWaitAndAResumeAsksAgain()
{
    ScriptedHttpServer& server = *m_server;
    server.route("/", answer(200, "text/html", "<img src=a.gif>"));
    server.route("/a.gif", { ScriptedHttpServer::response(503, "Busy", { { "Retry-After", "120" } }) });
    CrawlHarness& crawl = *m_crawl;
    crawl.host.onYield = [&crawl] {
        const QStringList& shown = crawl.host.currentAddresses;
        if (!shown.isEmpty() && shown.last().startsWith(u"待機中"_s))
            crawl.state.StopRequested = true;
    };
    QCOMPARE(crawl.start(server.url(u"/"_s)).kind, CrawlOutcome::Stopped);
    QCOMPARE(arrivals(server, "HEAD /a.gif ").size(), 1);

    crawl.host.onYield = {};
    server.route("/a.gif", answer(200, "image/gif", "GIF"));
    QCOMPARE(crawl.resume().kind, CrawlOutcome::Finished);
    QCOMPARE(crawl.mirroredFiles().value(u"a.gif"_s), "GIF"_ba);
}

void TestCrawlSiteRules::otherHostsGoOnDuringAWait()
{
    // localhost is another host than 127.0.0.1 for the crawl, though the same server answers both.
    ScriptedHttpServer& server = *m_server;
    QByteArray page = "<img src=a.gif>";
    for (int i = 0; i < 12; ++i) {
        const QByteArray name = "/b" + QByteArray::number(i) + ".gif";
        page += "<img src=\"http://localhost:" + QByteArray::number(server.port()) + name + "\">";
        Reply slow = answer(200, "image/gif", name);
        slow.delayMs = 400;
        server.route(name, slow);
    }
    server.route("/", answer(200, "text/html", page));
    server.route("/a.gif", { ScriptedHttpServer::response(429, "Wait", { { "Retry-After", "2" } }) });
    m_crawl->settings().save(SettingsKeys::SearchType, 3);
    m_crawl->settings().save(SettingsKeys::Connections, 6);
    m_crawl->host.onYield = [this] {
        if (arrivals(*m_server, "HEAD /a.gif ").size() == 1)
            m_server->route("/a.gif", answer(200, "image/gif", "GIF"));
    };
    QCOMPARE(m_crawl->start(server.url(u"/"_s)).kind, CrawlOutcome::Finished);
    const QList<qint64> waited = arrivals(server, "HEAD /a.gif ");
    QVERIFY(waited.size() >= 2);
    const QList<qint64> others = arrivals(server, "HEAD /b");
    QVERIFY2(std::any_of(others.cbegin(), others.cend(),
                 [&waited](qint64 at) { return at > waited[0] + 300 && at < waited[1]; }),
        "requests to another host went on while this one waited");
}

QTEST_GUILESS_MAIN(TestCrawlSiteRules)
#include "tst_crawlsiterules.moc"
