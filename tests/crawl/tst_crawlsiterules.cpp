// What sites ask of a crawl, against the scripted server: waits asked for with 429 and 503,
// robots.txt with its Crawl-delay, and cookies.
#include "records/logs.h"
#include "records/recordline.h"
#include "records/resumerecord.h"
#include "settings/settingskeys.h"
#include "transfer/transfercontrol.h"

#include "support/crawlharness.h"
#include "support/scriptedhttpserver.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using Reply = ScriptedHttpServer::Reply;
namespace K = SettingsKeys;

namespace {

Reply answer(int status, const QByteArray& body, const ScriptedHttpServer::Headers& extra = {},
    const QByteArray& type = "text/html")
{
    return { ScriptedHttpServer::response(
        status, "X", ScriptedHttpServer::Headers { { "Content-Type", type } } + extra, body) };
}

// When the requests whose request line starts with start arrived.
QList<qint64> arrivals(const ScriptedHttpServer& server, const QByteArray& start)
{
    QList<qint64> times;
    for (const ScriptedHttpServer::Request& request : server.requests())
        if (request.head.startsWith(start))
            times.append(request.arrivedMs);
    return times;
}

// A gallery that answers only requests with the cookie, linked from top.
void serveGallery(ScriptedHttpServer& server, const QByteArray& top)
{
    const QByteArray cookie = "pass=s3cr3t";
    server.route("/", answer(200, top));
    server.route("/login.html", answer(200, "<p>in</p>", { { "Set-Cookie", "pass=s3cr3t; Path=/" } }));
    server.routeWhenHeadHolds("/g/", cookie, answer(200, "<img src=a.gif>"));
    server.routeWhenHeadHolds("/g/a.gif", cookie, answer(200, "GIF", {}, "image/gif"));
}

} // namespace

class TestCrawlSiteRules : public QObject {
    Q_OBJECT
private slots:
    void init();
    void anAnswerAskingToWaitIsAskedAgainAfterTheWait_data();
    void anAnswerAskingToWaitIsAskedAgainAfterTheWait();
    void aWaitAskedOfAPredictionCountsAsTheCrawlsOwn();
    void aSitemapAskingToWaitIsReadAfterTheWait();
    void robotsTxt_data();
    void robotsTxt();
    void aCrawlDelayOverAMinuteIsToldAndCountedDown_data();
    void aCrawlDelayOverAMinuteIsToldAndCountedDown();
    void cookiesOpenAGalleryWithAnyNumberOfConnections_data();
    void cookiesOpenAGalleryWithAnyNumberOfConnections();
    void aStopEndsAWaitAndTheResumeAsksAgainWithTheCookiesTheCrawlHad();
    void aCookieFileWithoutACookieOfTheSiteStopsBeforeAnythingIsAsked_data();
    void aCookieFileWithoutACookieOfTheSiteStopsBeforeAnythingIsAsked();

private:
    std::unique_ptr<ScriptedHttpServer> m_server;
    std::unique_ptr<CrawlHarness> m_crawl;
};

void TestCrawlSiteRules::init()
{
    m_server = std::make_unique<ScriptedHttpServer>();
    QVERIFY(m_server->start());
    m_crawl = std::make_unique<CrawlHarness>();
    m_crawl->settings().save(K::Connections, 1);
}

void TestCrawlSiteRules::anAnswerAskingToWaitIsAskedAgainAfterTheWait_data()
{
    QTest::addColumn<QList<QByteArray>>("waits"); // the first answers to the probe of a.gif
    QTest::addColumn<int>("probes"); // 1: waiting is turned off
    QTest::addColumn<int>("waitMs"); // seen at the server between the first two probes, and counted down
    const auto wait = [](const QByteArray& status, const QByteArray& lines) {
        return "HTTP/1.1 " + status + " Wait\r\n" + lines + "Content-Length: 0\r\n\r\n";
    };
    QTest::newRow("a 429 is waited out for the seconds it names, then asked again")
        << QList<QByteArray> { wait("429", "Retry-After: 1\r\n") } << 2 << 1000;
    QTest::newRow("a 503 until its date, read against its own Date") << QList<QByteArray> {
        wait("503", "Date: Mon, 07 Dec 2026 09:00:00 GMT\r\nRetry-After: Mon, 07 Dec 2026 09:00:02 GMT\r\n")
    } << 2 << 2000;
    QTest::newRow("after three resends the fourth answer stands as an error answer")
        << QList<QByteArray>(4, wait("429", "Retry-After: 0\r\n")) << 4 << 0;
    QTest::newRow("turned off, the first answer stands")
        << QList<QByteArray> { wait("429", "Retry-After: 1\r\n") } << 1 << 0;
}

void TestCrawlSiteRules::anAnswerAskingToWaitIsAskedAgainAfterTheWait()
{
    QFETCH(QList<QByteArray>, waits);
    QFETCH(int, probes);
    QFETCH(int, waitMs);
    ScriptedHttpServer& server = *m_server;
    server.route("/", answer(200, "<img src=a.gif>"));
    for (const QByteArray& bytes : waits)
        server.enqueue({ bytes });
    server.enqueue({ ScriptedHttpServer::response(200, "OK", { { "Content-Length", "3" } }) });
    server.enqueue(answer(200, "GIF", {}, "image/gif"));
    m_crawl->settings().save(K::FollowRetryAfter, probes > 1 ? 1 : 0);
    QCOMPARE(m_crawl->start(server.url(u"/"_s)).kind, CrawlOutcome::Finished);
    const QList<qint64> times = arrivals(server, "HEAD /a.gif ");
    QCOMPARE(times.size(), probes);
    QVERIFY2(probes == 1 || times[1] - times[0] >= waitMs - 20, qPrintable(QString::number(times.value(1))));
    const bool saved = probes == 2;
    QCOMPARE(m_crawl->mirroredFiles().contains(u"a.gif"_s), saved);
    QCOMPARE(m_crawl->logLines(ErrorResponseLogName).size(), saved ? 0 : 2);
    const QString countdown = u"待機中（サーバーの指示）"_s + QString::number(waitMs / 1000) + u"秒"_s;
    QCOMPARE(m_crawl->host.currentAddresses.contains(countdown), waitMs > 0);
}

void TestCrawlSiteRules::aWaitAskedOfAPredictionCountsAsTheCrawlsOwn()
{
    // An address that always asks to wait is asked four times (once and three resends), whichever
    // connection asked first.
    ScriptedHttpServer& server = *m_server;
    QByteArray page;
    for (int i = 0; i < 8; ++i) {
        const QByteArray name = "/f" + QByteArray::number(i) + ".gif";
        page += "<img src=" + name + ">";
        server.route(name, answer(200, "GIF", {}, "image/gif"));
    }
    server.route("/", answer(200, page + "<img src=busy.gif>"));
    server.route("/busy.gif", answer(503, {}, { { "Retry-After", "0" } }));
    m_crawl->settings().save(K::FollowRetryAfter, 1);
    for (const int connections : { 1, 6 }) {
        const qsizetype before = arrivals(server, "HEAD /busy.gif ").size();
        m_crawl->settings().save(K::Connections, connections);
        QCOMPARE(m_crawl->start(server.url(u"/"_s)).kind, CrawlOutcome::Finished);
        QCOMPARE(arrivals(server, "HEAD /busy.gif ").size() - before, 4);
    }
}

void TestCrawlSiteRules::aSitemapAskingToWaitIsReadAfterTheWait()
{
    ScriptedHttpServer& server = *m_server;
    server.route("/", answer(200, "<p>top</p>"));
    server.route("/listed.gif", answer(200, "GIF", {}, "image/gif"));
    // The first answer's page is no sitemap, and must not be read as the sitemap.
    server.enqueue(answer(503, "<html>busy</html>", { { "Retry-After", "0" } }));
    server.enqueue(answer(
        200, "<urlset><url><loc>" + server.url(u"/listed.gif"_s).toUtf8() + "</loc></url></urlset>", {}, "text/xml"));
    m_crawl->settings().save(K::FollowSitemaps, 1);
    QCOMPARE(m_crawl->start(server.url(u"/"_s)).kind, CrawlOutcome::Finished);
    QCOMPARE(arrivals(server, "GET /sitemap.xml ").size(), 2);
    QCOMPARE(m_crawl->mirroredFiles().keys(), QStringList { u"listed.gif"_s });
}

void TestCrawlSiteRules::robotsTxt_data()
{
    // to the robots.txt; -1: none is there, -2: it answers 500, -3: its connection closes unanswered,
    // -4: it refuses everything
    QTest::addColumn<int>("redirects");
    QTest::addColumn<QStringList>("saved");
    QTest::addColumn<QString>("unread"); // the reason a robots.txt that could not be read is reported with
    const QStringList all { u"a.gif"_s, u"no/b.gif"_s, u"no/yes.gif"_s };
    QTest::newRow("not there (404): everything is allowed") << -1 << all << QString();
    QTest::newRow("a 500 allows nothing: the top page's refusal is reported, as unread")
        << -2 << QStringList() << u"ステータス：500"_s;
    QTest::newRow("no answer allows nothing: the top page's refusal is reported, as unread")
        << -3 << QStringList() << u"エラー：52 "_s + TransferControl::errorReason(52);
    QTest::newRow("refusing the top address: said before anything is written") << -4 << QStringList() << QString();
    QTest::newRow("our group, Allow with $, Crawl-delay, all read at the end of five redirects")
        << 5 << QStringList { u"a.gif"_s, u"no/yes.gif"_s } << QString();
    QTest::newRow("a sixth redirect is not followed: everything is allowed") << 6 << all << QString();
}

void TestCrawlSiteRules::robotsTxt()
{
    QFETCH(int, redirects);
    QFETCH(QStringList, saved);
    QFETCH(QString, unread);
    ScriptedHttpServer& server = *m_server;
    server.route("/", answer(200, "<img src=a.gif><img src=no/b.gif><img src=no/yes.gif><a href=p.html>"));
    server.route("/p.html", answer(200, "<img src=no/b.gif>"));
    for (const QByteArray& name : { "/a.gif"_ba, "/no/b.gif"_ba, "/no/yes.gif"_ba })
        server.route(name, answer(200, name, {}, "image/gif"));
    if (redirects == -2)
        server.route("/robots.txt", answer(500, "down"));
    if (redirects == -3)
        server.route("/robots.txt", ScriptedHttpServer::nothingThenClose());
    if (redirects == -4)
        server.route("/robots.txt", answer(200, "User-agent: *\nDisallow: /\n", {}, "text/plain"));
    for (int i = 0; i < redirects; ++i)
        server.route(i == 0 ? "/robots.txt"_ba : "/r" + QByteArray::number(i),
            answer(301, {}, { { "Location", "/r" + QByteArray::number(i + 1) } }));
    server.route("/r" + QByteArray::number(redirects),
        answer(200,
            "User-agent: *\nDisallow: /\n\nUser-agent: fetchwright\nDisallow: /no/\nAllow: /no/yes.gif$\n"
            "Crawl-delay: 0.3\n"));
    m_crawl->settings().save(K::FollowRobots, 1);
    m_crawl->settings().save(K::Connections, 6);
    const QString top = server.url(u"/"_s);
    QCOMPARE(m_crawl->start(top).kind, saved.isEmpty() ? CrawlOutcome::Failed : CrawlOutcome::Finished);
    QCOMPARE(m_crawl->mirroredFiles().keys(), saved);
    const QList<ScriptedHttpServer::Request> requests = server.requests();
    const int robotsAsked = redirects == -3 ? 2 : 1; // a connection that failed is tried once more
    QCOMPARE(arrivals(server, "GET /robots.txt ").size() + arrivals(server, "GET /r6 ").size(), robotsAsked);
    if (saved.isEmpty()) // nothing else asked for
        QCOMPARE(requests.size(), robotsAsked);
    if (redirects == -4) // said, and nothing written
        QVERIFY(m_crawl->host.messages == QStringList { u"robots.txtで禁止されています\n"_s + top }
            && !QFileInfo::exists(m_crawl->saveDir() + u"127.0.0.1."_s + QString::number(server.port())));
    if (!unread.isEmpty()) {
        const QString detail = server.url(u"/robots.txt"_s) + u' ' + unread;
        QCOMPARE(SplitRecordLine(m_crawl->logLines(FailureReportName).value(1)).mid(1, 3),
            (QStringList { u"robots.txtを読めませんでした"_s, detail, top }));
        QCOMPARE(m_crawl->host.messages.value(0),
            u"トップページを取得できませんでした。\n"_s + top + u"\nrobots.txtを読めませんでした\n"_s + detail);
    }
    if (redirects != 5)
        return;
    for (qsizetype i = redirects + 2; i < requests.size(); ++i)
        QVERIFY2(
            requests[i].arrivedMs - requests[i - 1].arrivedMs >= 300 - 20 && !requests[i].target().startsWith("/no/b"),
            requests[i].head.constData());
    // Refused on two pages, reported once; robots.txt is no detected address.
    const QStringList failures = m_crawl->logLines(FailureReportName);
    QCOMPARE(failures.size(), 2);
    QCOMPARE(SplitRecordLine(failures[1]).mid(1, 3),
        (QStringList { u"robots.txtで禁止されています"_s, server.url(u"/robots.txt"_s), server.url(u"/no/b.gif"_s) }));
    QVERIFY(!m_crawl->logLines(DetectedLogName).join(u'|').contains(u"/r"_s));
}

void TestCrawlSiteRules::aCrawlDelayOverAMinuteIsToldAndCountedDown_data()
{
    QTest::addColumn<int>("connections");
    QTest::newRow("one connection") << 1;
    QTest::newRow("six connections") << 6;
}

void TestCrawlSiteRules::aCrawlDelayOverAMinuteIsToldAndCountedDown()
{
    QFETCH(int, connections);
    m_server->route("/robots.txt", answer(200, "User-agent: *\nCrawl-delay: 61\n", {}, "text/plain"));
    m_server->route("/", answer(200, "<img src=a.gif>"));
    CrawlHarness& crawl = *m_crawl;
    crawl.settings().save(K::FollowRobots, 1);
    crawl.settings().save(K::Connections, connections);
    // The top page waits its turn after robots.txt; the stop ends the wait.
    crawl.host.onYield
        = [&crawl] { crawl.state.StopRequested = crawl.host.currentAddresses.contains(u"待機中61秒"_s); };
    QCOMPARE(crawl.start(m_server->url(u"/"_s)).kind, CrawlOutcome::Stopped);
    const QStringList failures = crawl.logLines(FailureReportName);
    QCOMPARE(failures.size(), 2);
    QCOMPARE(SplitRecordLine(failures[1]).mid(1, 3),
        (QStringList { u"robots.txtのCrawl-delayが1分を超えています"_s,
            u"127.0.0.1:"_s + QString::number(m_server->port()) + u" は要求の間隔を61秒とするよう求めています。"_s,
            m_server->url(u"/robots.txt"_s) }));
    QCOMPARE(crawl.host.counters[size_t(Counter::Failure)], 0);
}

void TestCrawlSiteRules::cookiesOpenAGalleryWithAnyNumberOfConnections_data()
{
    QTest::addColumn<QByteArray>("top");
    QTest::addColumn<QByteArray>("cookiesFile"); // a browser's, or none
    QTest::addColumn<bool>("opens"); // the gallery opens to the crawl
    QTest::newRow("a cookie the login page sets is sent back for the rest of the crawl")
        << "<a href=login.html>in</a><a href=g/>g</a>"_ba << QByteArray() << true;
    QTest::newRow("a cookie of a browser's file is sent where its domain and path match; others stay out")
        << "<a href=g/>g</a>"_ba
        << "# Netscape HTTP Cookie File\r\n127.0.0.1\tFALSE\t/g/\tFALSE\t0\tpass\ts3cr3t\r\n"
           "other.example\tFALSE\t/\tFALSE\t0\tpass\telsewhere\r\n"_ba
        << true;
    QTest::newRow("past fifty cookies of the site the oldest, the login's, is dropped")
        << "<a href=login.html>in</a><a href=f0.html>f</a><a href=f1.html>f</a><a href=g/>g</a>"_ba << QByteArray()
        << false;
}

void TestCrawlSiteRules::cookiesOpenAGalleryWithAnyNumberOfConnections()
{
    QFETCH(QByteArray, top);
    QFETCH(QByteArray, cookiesFile);
    QFETCH(bool, opens);
    serveGallery(*m_server, top);
    for (const QByteArray page : { "0", "1" }) {
        ScriptedHttpServer::Headers flood;
        for (int i = 0; i < 40; ++i)
            flood.append({ "Set-Cookie", "f" + page + '_' + QByteArray::number(i) + "=1; Path=/" });
        m_server->route("/f" + page + ".html", answer(200, {}, flood));
    }
    QMap<QString, QByteArray> withOne;
    for (const int connections : { 1, 6 }) {
        CrawlHarness crawl;
        crawl.settings().save(K::Connections, connections);
        if (!cookiesFile.isEmpty()) {
            QVERIFY(WriteFileBytes(m_crawl->saveDir() + u"cookies.txt"_s, cookiesFile));
            crawl.settings().save(K::CookieFile, m_crawl->saveDir() + u"cookies.txt"_s);
        }
        QCOMPARE(crawl.start(m_server->url(u"/"_s)).kind, CrawlOutcome::Finished);
        QCOMPARE(crawl.mirroredFiles().value(u"g/a.gif"_s), opens ? "GIF"_ba : QByteArray());
        QVERIFY(IsOwnerOnly(CookieJarPath(crawl.siteDir())));
        const QMap<QString, QByteArray> files = SaveFolderContents(crawl.saveDir());
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            QVERIFY2(it.key().endsWith(u"Cookies.txt"_s) || !it.value().contains("s3cr3t"), qPrintable(it.key()));
            QVERIFY2(!it.value().contains("elsewhere"), qPrintable(it.key()));
        }
        QCOMPARE(files, connections == 1 ? (withOne = files) : withOne);
    }
    for (const ScriptedHttpServer::Request& request : m_server->requests())
        QVERIFY(cookiesFile.isEmpty() || request.head.contains("Cookie:") == request.target().startsWith("/g/"));
}

void TestCrawlSiteRules::aStopEndsAWaitAndTheResumeAsksAgainWithTheCookiesTheCrawlHad()
{
    serveGallery(*m_server, "<a href=login.html>in</a><a href=g/>g</a>");
    m_server->routeWhenHeadHolds("/g/a.gif", "Cookie: pass=", answer(503, {}, { { "Retry-After", "120" } }));
    CrawlHarness& crawl = *m_crawl;
    crawl.host.onYield = [&crawl] {
        crawl.state.StopRequested = crawl.host.currentAddresses.contains(u"待機中（サーバーの指示）120秒"_s);
    };
    QCOMPARE(crawl.start(m_server->url(u"/"_s)).kind, CrawlOutcome::Stopped);
    crawl.host.onYield = {};
    m_server->routeWhenHeadHolds("/g/a.gif", "Cookie: pass=", answer(200, "GIF", {}, "image/gif"));
    QCOMPARE(crawl.resume().kind, CrawlOutcome::Finished);
    QCOMPARE(crawl.mirroredFiles().value(u"g/a.gif"_s), "GIF"_ba);
}

void TestCrawlSiteRules::aCookieFileWithoutACookieOfTheSiteStopsBeforeAnythingIsAsked_data()
{
    QTest::addColumn<QByteArray>("file"); // empty: there is none
    QTest::addColumn<QString>("reason");
    QTest::newRow("none at the path") << QByteArray() << u"クッキーファイルを読めません。"_s;
    QTest::newRow("a page saved in its place")
        << "<html><body>cookies</body></html>\n"_ba << u"クッキーファイルではありません"_s;
    QTest::newRow("other sites' cookies and an expired one of the site")
        << "other.example\tFALSE\t/\tFALSE\t0\tpass\tx\n127.0.0.1\tFALSE\t/\tFALSE\t1\told\tx\n"_ba
        << u"このサイト（127.0.0.1）の有効なクッキーがありません。"_s;
}

void TestCrawlSiteRules::aCookieFileWithoutACookieOfTheSiteStopsBeforeAnythingIsAsked()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, reason);
    QTemporaryDir browser;
    const QString path = browser.filePath(u"cookies.txt"_s);
    QVERIFY(file.isEmpty() || WriteFileBytes(path, file));
    m_crawl->settings().save(K::CookieFile, path);
    const CrawlOutcome outcome = m_crawl->start(m_server->url(u"/"_s));
    QCOMPARE(outcome.kind, CrawlOutcome::Failed);
    QVERIFY2(outcome.reason.contains(reason) && outcome.reason.contains(path), qPrintable(outcome.reason));
    QVERIFY(m_server->requests().isEmpty());
    QVERIFY(SaveFolderContents(m_crawl->saveDir()).isEmpty());
}

QTEST_GUILESS_MAIN(TestCrawlSiteRules)
#include "tst_crawlsiterules.moc"
