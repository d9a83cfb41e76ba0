// What sites ask of a crawl, against the scripted server: waits they ask for with 429 and 503,
// robots.txt with its Crawl-delay, and cookies.
#include "records/logs.h"
#include "records/recordline.h"
#include "records/resumerecord.h"
#include "settings/settingskeys.h"

#include "support/crawlharness.h"
#include "support/scriptedhttpserver.h"

#include <QFileInfo>
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

// A top page whose login page sets a cookie, and a gallery that refuses requests without it.
void serveGallery(ScriptedHttpServer& server, const QByteArray& cookie)
{
    server.route("/", answer(200, "text/html", "<a href=login.html>in</a><a href=g/>g</a>"));
    server.route("/login.html", answer(200, "text/html", "<p>in</p>", { { "Set-Cookie", "pass=s3cr3t; Path=/" } }));
    server.route("/g/", answer(403, "text/html", "<p>no</p>"));
    server.route("/g/a.gif", answer(403, "text/html", "<p>no</p>"));
    server.routeWhenHeadHolds("/g/", cookie, answer(200, "text/html", "<img src=a.gif>"));
    server.routeWhenHeadHolds("/g/a.gif", cookie, answer(200, "image/gif", "GIF"));
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
    void robotsTxtRefusesLinksOnceAndIsNeverCounted();
    void whatRobotsTxtAnswersDecides_data();
    void whatRobotsTxtAnswersDecides();
    void crawlDelayKeepsRequestsToTheHostApart();
    void cookiesASiteSetsAreSentBackWithAnyNumberOfConnections();
    void aResumeKeepsTheCookiesTheCrawlHad();
    void cookiesFromABrowsersFileAreSentWhereTheyMatch();

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

void TestCrawlSiteRules::robotsTxtRefusesLinksOnceAndIsNeverCounted()
{
    ScriptedHttpServer& server = *m_server;
    server.route("/robots.txt",
        answer(200, "text/plain",
            "User-agent: *\nDisallow: /\n\nUser-agent: fetchwright\nDisallow: /no/\nAllow: /no/yes.gif$\n"));
    server.route("/", answer(200, "text/html", "<img src=a.gif><img src=no/b.gif><img src=no/yes.gif><a href=p.html>"));
    server.route("/p.html", answer(200, "text/html", "<img src=no/b.gif><img src=a.gif>"));
    for (const QByteArray& name : { "/a.gif"_ba, "/no/b.gif"_ba, "/no/yes.gif"_ba })
        server.route(name, answer(200, "image/gif", name));
    m_crawl->settings().save(SettingsKeys::FollowRobots, 1);
    QCOMPARE(m_crawl->start(server.url(u"/"_s)).kind, CrawlOutcome::Finished);

    QCOMPARE(arrivals(server, "GET /robots.txt ").size(), 1);
    QCOMPARE(arrivals(server, "HEAD /no/b.gif ").size() + arrivals(server, "GET /no/b.gif ").size(), 0);
    QCOMPARE(m_crawl->mirroredFiles().keys(), (QStringList { u"a.gif"_s, u"no/yes.gif"_s }));
    const QStringList failures = m_crawl->logLines(FailureReportName);
    QCOMPARE(failures.size(), 2);
    const QStringList failure = SplitRecordLine(failures[1]);
    QCOMPARE(failure[1], u"robots.txtで禁止されています"_s);
    QCOMPARE(failure[3], server.url(u"/no/b.gif"_s));
    QVERIFY(!m_crawl->logLines(DetectedLogName).join(u'|').contains(u"robots.txt"_s));
    QCOMPARE(m_crawl->host.counter(Counter::Download), 2);
}

void TestCrawlSiteRules::whatRobotsTxtAnswersDecides_data()
{
    QTest::addColumn<int>("redirects"); // to a robots.txt refusing a.gif; -1 none there, -2 a 500
    QTest::addColumn<bool>("topRefused");
    QTest::addColumn<bool>("aRefused");
    QTest::newRow("not there (404): everything is allowed") << -1 << false << false;
    QTest::newRow("a 500 allows nothing: the top address is refused before anything is written") << -2 << true << true;
    QTest::newRow("five redirects are followed") << 5 << false << true;
    QTest::newRow("a sixth is not, and everything is allowed") << 6 << false << false;
}

void TestCrawlSiteRules::whatRobotsTxtAnswersDecides()
{
    QFETCH(int, redirects);
    QFETCH(bool, topRefused);
    QFETCH(bool, aRefused);
    ScriptedHttpServer& server = *m_server;
    server.route("/", answer(200, "text/html", "<img src=a.gif>"));
    server.route("/a.gif", answer(200, "image/gif", "GIF"));
    if (redirects == -2)
        server.route("/robots.txt", answer(500, "text/plain", "down"));
    for (int i = 0; i < redirects; ++i)
        server.route(i == 0 ? "/robots.txt"_ba : "/r" + QByteArray::number(i),
            answer(301, "text/plain", {}, { { "Location", "/r" + QByteArray::number(i + 1) } }));
    server.route("/r" + QByteArray::number(redirects), answer(200, "text/plain", "User-agent: *\nDisallow: /a.gif\n"));
    m_crawl->settings().save(SettingsKeys::FollowRobots, 1);
    const QString top = server.url(u"/"_s);
    const CrawlOutcome outcome = m_crawl->start(top);
    QCOMPARE(outcome.kind, topRefused ? CrawlOutcome::Failed : CrawlOutcome::Finished);
    if (topRefused) {
        QCOMPARE(m_crawl->host.messages, QStringList { u"robots.txtで禁止されています\n"_s + top });
        QCOMPARE(server.requests().size(), 1);
        QVERIFY(!QFileInfo::exists(m_crawl->saveDir() + u"127.0.0.1."_s + QString::number(server.port())));
        return;
    }
    QCOMPARE(m_crawl->mirroredFiles().contains(u"a.gif"_s), !aRefused);
    QCOMPARE(arrivals(server, "GET /r6 ").size(), 0);
}

void TestCrawlSiteRules::crawlDelayKeepsRequestsToTheHostApart()
{
    ScriptedHttpServer& server = *m_server;
    server.route("/robots.txt", answer(200, "text/plain", "User-agent: *\nCrawl-delay: 0.3\n"));
    server.route("/", answer(200, "text/html", "<img src=a.gif><img src=b.gif><img src=c.gif>"));
    for (const QByteArray& name : { "/a.gif"_ba, "/b.gif"_ba, "/c.gif"_ba })
        server.route(name, answer(200, "image/gif", name));
    m_crawl->settings().save(SettingsKeys::FollowRobots, 1);
    m_crawl->settings().save(SettingsKeys::Connections, 6);
    QCOMPARE(m_crawl->start(server.url(u"/"_s)).kind, CrawlOutcome::Finished);
    const QList<ScriptedHttpServer::Request> requests = server.requests();
    QCOMPARE(requests.size(), 9);
    for (qsizetype i = 2; i < requests.size(); ++i)
        QVERIFY2(requests[i].arrivedMs - requests[i - 1].arrivedMs >= 300 - 20,
            qPrintable(QString::number(requests[i].arrivedMs - requests[i - 1].arrivedMs)));
}

void TestCrawlSiteRules::cookiesASiteSetsAreSentBackWithAnyNumberOfConnections()
{
    serveGallery(*m_server, "Cookie: pass=s3cr3t");
    QMap<QString, QByteArray> withOne;
    for (const int connections : { 1, 6 }) {
        CrawlHarness crawl;
        crawl.settings().save(SettingsKeys::ListViewCheck, 0);
        crawl.settings().save(SettingsKeys::Connections, connections);
        QCOMPARE(crawl.start(m_server->url(u"/"_s)).kind, CrawlOutcome::Finished);
        QCOMPARE(crawl.mirroredFiles().value(u"g/a.gif"_s), "GIF"_ba);
        QVERIFY(IsOwnerOnly(CookieJarPath(crawl.siteDir())));
        const QMap<QString, QByteArray> files = SaveFolderContents(crawl.saveDir());
        for (auto it = files.cbegin(); it != files.cend(); ++it)
            QVERIFY2(it.key().endsWith(u"Cookies.txt"_s) || !it.value().contains("s3cr3t"), qPrintable(it.key()));
        if (connections == 1)
            withOne = files;
        else
            QCOMPARE(files, withOne);
    }
}

void TestCrawlSiteRules::aResumeKeepsTheCookiesTheCrawlHad()
{
    serveGallery(*m_server, "Cookie: pass=s3cr3t");
    CrawlHarness& crawl = *m_crawl;
    const QString gallery = m_server->url(u"/g/"_s);
    crawl.host.onYield = [&crawl, gallery] {
        if (crawl.host.currentAddresses.contains(gallery))
            crawl.state.StopRequested = true;
    };
    QCOMPARE(crawl.start(m_server->url(u"/"_s)).kind, CrawlOutcome::Stopped);
    crawl.host.onYield = {};
    QCOMPARE(crawl.resume().kind, CrawlOutcome::Finished);
    QCOMPARE(crawl.mirroredFiles().value(u"g/a.gif"_s), "GIF"_ba);
}

void TestCrawlSiteRules::cookiesFromABrowsersFileAreSentWhereTheyMatch()
{
    serveGallery(*m_server, "Cookie: pass=fromfile\r\n");
    m_server->route("/", answer(200, "text/html", "<a href=g/>g</a>"));
    const QString file = m_crawl->saveDir() + u"cookies.txt"_s;
    QVERIFY(WriteFileBytes(file,
        "# Netscape HTTP Cookie File\r\n127.0.0.1\tFALSE\t/g/\tFALSE\t0\tpass\tfromfile\r\n"
        "other.example\tFALSE\t/\tFALSE\t0\tpass\telsewhere\r\n"));
    m_crawl->settings().save(SettingsKeys::CookieFile, file);
    QCOMPARE(m_crawl->start(m_server->url(u"/"_s)).kind, CrawlOutcome::Finished);
    QCOMPARE(m_crawl->mirroredFiles().value(u"g/a.gif"_s), "GIF"_ba);
    for (const ScriptedHttpServer::Request& request : m_server->requests())
        QVERIFY2(request.head.contains("Cookie:") == request.target().startsWith("/g/"), request.head.constData());
}

QTEST_GUILESS_MAIN(TestCrawlSiteRules)
#include "tst_crawlsiterules.moc"
