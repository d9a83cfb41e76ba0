// The same crawls with one connection and with several: everything the crawl leaves in its save
// folder (the mirrored tree, the queue and resume records, every log line in its order, the list
// pages) and every counter must be byte for byte the same. The servers see the requests overlap,
// never more connections from us than allowed, and the interval between requests to one host.
#include "crawl/httpheaders.h"
#include "pages/downloadlist.h"
#include "records/logs.h"
#include "settings/settingskeys.h"
#include "settings/settingsstore.h"

#include "support/browserlinksite.h"
#include "support/crawlharness.h"
#include "support/nginxfixture.h"
#include "support/scriptedhttpserver.h"
#include "support/testca.h"

#include <QTest>

using namespace Qt::StringLiterals;
using Reply = ScriptedHttpServer::Reply;
using Settings = QList<std::pair<QString, QString>>;

namespace {

QByteArray content(const QString& name, int size)
{
    QByteArray bytes = name.toUtf8();
    for (int i = 0; bytes.size() < size; ++i)
        bytes.append(char((i * 31 + name.size()) % 251));
    return bytes.left(size);
}

Reply answer(int status, const QByteArray& reason, const QByteArray& type, const QByteArray& body, int delayMs = 0,
    const ScriptedHttpServer::Headers& extra = {})
{
    ScriptedHttpServer::Headers headers;
    if (!type.isEmpty())
        headers.append({ "Content-Type", type });
    headers += extra;
    return { ScriptedHttpServer::response(status, reason, headers, body), delayMs };
}

struct Outcome {
    QMap<QString, QByteArray> files;
    std::array<qint64, CounterCount> counters {};
    QStringList messages;
    QString lastAddress;
};

// The first difference between two outcomes, or "" when there is none.
QString differenceOf(const Outcome& one, const Outcome& other)
{
    const QStringList names = QStringList(one.files.keys()) + other.files.keys();
    for (const QString& name : names) {
        if (one.files.value(name) != other.files.value(name))
            return u"file "_s + name + u":\n"_s + QString::fromLocal8Bit(one.files.value(name).left(2000))
                + u"\n---\n"_s + QString::fromLocal8Bit(other.files.value(name).left(2000));
    }
    if (one.counters != other.counters)
        return u"counters"_s;
    if (one.messages != other.messages)
        return u"messages: "_s + one.messages.join(u'|') + u" / "_s + other.messages.join(u'|');
    if (one.lastAddress != other.lastAddress)
        return u"last address: "_s + one.lastAddress + u" / "_s + other.lastAddress;
    return {};
}

// Our connections open now to the given local ports, as the system lists them: established, the
// port at the far end.
int establishedTo(const QList<quint16>& ports)
{
    QFile table(u"/proc/net/tcp"_s);
    if (!table.open(QIODevice::ReadOnly))
        return 0;
    int count = 0;
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields[3] == "01"
            && ports.contains(fields[2].mid(fields[2].indexOf(':') + 1).toUShort(nullptr, 16)))
            ++count;
    }
    return count;
}

// A page linking thirty small files that take a moment each, so that requests overlap.
void serveThirtyFiles(ScriptedHttpServer& server)
{
    QByteArray page;
    for (int i = 0; i < 30; ++i) {
        const QByteArray name = "/p" + QByteArray::number(i) + ".gif";
        page += "<img src=\"" + name + "\">";
        server.route(name, answer(200, "OK", "image/gif", content(QString::number(i), 100 + i), 30));
    }
    server.route("/", answer(200, "OK", "text/html", page));
}

} // namespace

class TestCrawlConnections : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void sameOutputsForEveryNumberOfConnections_data();
    void sameOutputsForEveryNumberOfConnections();
    void requestsOverlapOnSeveralConnections();
    void nearlyEveryRequestIsServedFromAPrediction_data();
    void nearlyEveryRequestIsServedFromAPrediction();
    void noMoreConnectionsThanAllowed_data();
    void noMoreConnectionsThanAllowed();
    void requestsToOneHostKeepTheInterval();
    void aStopInMidCrawlResumesToTheSameEnd();
    void idleConnectionsDoNotHoldTheServersWorkers();
    void shortRangedAnswersAreNotPredictedOverAndOver();
    void http2GivesTheCrawlOfHttp11();
    void theServerSeesTheRequestsOfOneConnection_data();
    void theServerSeesTheRequestsOfOneConnection();

private:
    Outcome crawl(int connections, const QString& top, const QList<Settings>& runs);

    QTemporaryDir m_root;
    QTemporaryDir m_otherRoot;
    std::unique_ptr<NginxFixture> m_nginx;
    std::unique_ptr<NginxFixture> m_other;
    // The same site over https, offering HTTP/2; none without openssl.
    TestCa m_ca;
    std::unique_ptr<NginxFixture> m_secure;
    std::unique_ptr<NginxFixture> m_goaway;
    ScriptedHttpServer m_scripted;
    // Servers that take two connections at once: one answers a third 503, the other closes it and
    // counts a closed connection for a while longer.
    ScriptedHttpServer m_refusing;
    ScriptedHttpServer m_closing;
    // Answers slowly, each file at its own pace, and a 6 MiB file in ranged pieces.
    ScriptedHttpServer m_slow;
    // Sets forty new cookies with every answer; a late page tells whether the first is still sent.
    ScriptedHttpServer m_flood;
};

void TestCrawlConnections::initTestCase()
{
    QVERIFY(m_scripted.start());
    QVERIFY(m_refusing.start());
    m_refusing.limitConnections(2, answer(503, "Service Unavailable", "text/html", "<p>busy</p>"));
    serveThirtyFiles(m_refusing);
    QVERIFY(m_slow.start());
    // Pages that link one picture, answering out of their order while the large file is fetched:
    // its probe is made for the first of them alone.
    QByteArray slowPage = "<a href=big.bin>big</a>";
    for (int i = 0; i < 4; ++i) {
        m_slow.route("/only" + QByteArray::number(i) + ".gif", answer(200, "OK", "image/gif", "only", 20));
        const QByteArray name = "/p" + QByteArray::number(i) + ".html";
        slowPage += "<a href=\"" + name + "\">p</a>";
        m_slow.route(name,
            answer(200, "OK", "text/html", "<img src=shared.gif><img src=only" + QByteArray::number(i) + ".gif>",
                (3 - i) * 120));
    }
    for (int i = 0; i < 12; ++i) {
        const QByteArray name = "/s" + QByteArray::number(i) + ".gif";
        slowPage += "<img src=\"" + name + "\">";
        m_slow.route(name, answer(200, "OK", "image/gif", content(QString::number(i), 900), (i % 4) * 150));
    }
    m_slow.route("/shared.gif", answer(200, "OK", "image/gif", "shared", 20));
    m_slow.route("/", answer(200, "OK", "text/html", slowPage, 50));
    m_slow.serveFile("/big.bin", content(u"big"_s, 6 * 1024 * 1024), 6 * 1024 * 1024, 200);
    QVERIFY(m_flood.start());
    QByteArray floodPage = "<a href=late.html>late</a>";
    for (int i = 0; i < 30; ++i) {
        const QByteArray name = "/c" + QByteArray::number(i) + ".gif";
        floodPage += "<img src=\"" + name + "\">";
        ScriptedHttpServer::Headers cookies;
        for (int k = 0; k < 40; ++k)
            cookies.append({ "Set-Cookie", "c" + QByteArray::number(i) + '_' + QByteArray::number(k) + "=v; Path=/" });
        m_flood.route(name, answer(200, "OK", "image/gif", content(QString::number(i), 50), 10, cookies));
    }
    m_flood.route("/", answer(200, "OK", "text/html", floodPage, 0, { { "Set-Cookie", "first=1" } }));
    m_flood.route("/late.html", answer(200, "OK", "text/html", "<img src=dropped.gif>"));
    m_flood.routeWhenHeadHolds("/late.html", "first=1", answer(200, "OK", "text/html", "<img src=kept.gif>"));
    m_flood.route("/dropped.gif", answer(200, "OK", "image/gif", "dropped"));
    m_flood.route("/kept.gif", answer(200, "OK", "image/gif", "kept"));
    QVERIFY(m_closing.start());
    m_closing.limitConnections(2, std::nullopt, 300);
    serveThirtyFiles(m_closing);
    // A later request answered faster than an earlier one, a connection failing while others
    // succeed, an answer refused for want of credentials among several, a redirect, errors, a
    // Japanese name, a base tag and a text page without a type.
    m_scripted.route("/o/",
        answer(200, "OK", "text/html",
            "<img src=slow.gif><img src=fast1.gif><a href=sub.html>s</a><img src=fail.gif><img src=auth.gif>"
            "<img src=fast2.gif><a href=moved.gif>m</a><img src=missing.gif><img src=forbidden.gif>"
            "<a href=\"%E5%86%99%E7%9C%9F.gif\">j</a><a href=based.html>b</a><a href=untyped>u</a>"
            "<img src=slow.gif><a href=\"/o/\">top</a>"));
    m_scripted.route("/o/slow.gif", answer(200, "OK", "image/gif", content(u"slow"_s, 5000), 300));
    m_scripted.route("/o/fast1.gif", answer(200, "OK", "image/gif", content(u"fast1"_s, 700)));
    m_scripted.route("/o/fast2.gif", answer(200, "OK", "image/gif", content(u"fast2"_s, 900)));
    m_scripted.route("/o/fail.gif", ScriptedHttpServer::nothingThenClose());
    m_scripted.route("/o/auth.gif",
        answer(401, "Unauthorized", "text/html", "<p>no</p>", 0, { { "WWW-Authenticate", "Basic realm=\"x\"" } }));
    m_scripted.route("/o/moved.gif", answer(302, "Found", "text/html", "", 0, { { "Location", "/o/fast2.gif" } }));
    m_scripted.route("/o/missing.gif", answer(404, "Not Found", "text/html", "<p>404</p>", 50));
    m_scripted.route("/o/forbidden.gif", answer(403, "Forbidden", "text/html", "<p>403</p>"));
    m_scripted.route("/o/%E5%86%99%E7%9C%9F.gif", answer(200, "OK", "image/gif", content(u"写真"_s, 333)));
    m_scripted.route("/o/sub.html",
        answer(200, "OK", "text/html", "<img src=slow2.gif><img src=fast1.gif><img src=fast3.gif>", 100));
    m_scripted.route("/o/slow2.gif", answer(200, "OK", "image/gif", content(u"slow2"_s, 2000), 200));
    m_scripted.route("/o/fast3.gif", answer(200, "OK", "image/gif", content(u"fast3"_s, 100)));
    m_scripted.route(
        "/o/based.html", answer(200, "OK", "text/html", "<img src=fast3.gif><base href=\"/o/deep/\"><img src=x.gif>"));
    m_scripted.route("/o/deep/x.gif", answer(200, "OK", "image/gif", content(u"x"_s, 10), 20));
    m_scripted.route("/o/untyped", answer(200, "OK", {}, "<p>日本語</p><img src=\"u.gif\">"_ba));
    m_scripted.route("/o/u.gif", answer(200, "OK", "image/gif", content(u"u"_s, 12)));

    if (NginxFixture::executable().isEmpty())
        QSKIP(NginxFixture::missingMessage());
    m_other = std::make_unique<NginxFixture>(m_otherRoot.path());
    QVERIFY(WriteFileBytes(m_otherRoot.filePath(u"x.gif"_s), content(u"x"_s, 64)));
    QVERIFY2(m_other->start(), qPrintable(m_other->errorString()));
    const QMap<QString, QByteArray> files { { u"a.gif"_s, content(u"a"_s, 1200) },
        { u"img/b.jpg"_s, content(u"b"_s, 3000) }, { u"big.mpg"_s, content(u"big"_s, 2621440) },
        { u"private/secret.gif"_s, content(u"secret"_s, 77) }, { u"thumb_x.gif"_s, content(u"thumb"_s, 10) },
        { u"docs/c.gif"_s, content(u"c"_s, 4096) }, { u"docs/sub/d.gif"_s, content(u"d"_s, 5) },
        { u"docs/a.gif"_s, content(u"same name"_s, 1200) },
        { u"robots.txt"_s, "User-agent: *\nDisallow: /docs/sub/\nDisallow: /*.mpg$\n" } };
    for (auto it = files.begin(); it != files.end(); ++it)
        QVERIFY(WriteFileBytes(m_root.filePath(it.key()), it.value()));
    QVERIFY(WriteFileBytes(m_root.filePath(u"index.html"_s),
        "<html><body><a href=\"a.gif\">A</a><IMG SRC=\"img/b.jpg\"><a href=\"docs/page.html\">docs</a>"
        "<a href=big.mpg>big</a><a href=\"private/secret.gif\">secret</a><a href='thumb_x.gif'>t</a>"
        "<a href=\""
            + m_other->url(u"/x.gif"_s).toLatin1() + "\">other</a></body></html>"));
    QVERIFY(WriteFileBytes(m_root.filePath(u"docs/page.html"_s),
        "<img src=\"c.gif\"><a href=\"../a.gif\">a</a><img src=a.gif><a href=\"sub/deep.html\">deep</a>"));
    QVERIFY(WriteFileBytes(m_root.filePath(u"docs/sub/deep.html"_s), "<img src=\"d.gif\"><img src=\"../../a.gif\">"));
    QByteArray many;
    for (int i = 0; i < 700; ++i) {
        many += "<img src=\"i" + QByteArray::number(i) + ".gif\">";
        QVERIFY(WriteFileBytes(m_root.filePath(u"many/i%1.gif"_s.arg(i)), "GIF"));
    }
    QVERIFY(WriteFileBytes(m_root.filePath(u"many/index.html"_s), many));
    QVERIFY(WriteBrowserLinkSite(m_root.path()));
    m_nginx = std::make_unique<NginxFixture>(m_root.path());
    m_nginx->requireBasicAuth(u"/private/"_s, u"user"_s, u"secret"_s);
    m_nginx->addDirective(u"location = /big.mpg { limit_rate 8m; }"_s);
    QVERIFY2(m_nginx->start(), qPrintable(m_nginx->errorString()));
    QVERIFY(WriteBrowserLinkSitemaps(m_root.path(), m_nginx->url(QString())));

    if (TestCa::executable().isEmpty())
        return;
    QVERIFY2(m_ca.make(), qPrintable(m_ca.errorString()));
    m_secure = std::make_unique<NginxFixture>(m_root.path());
    m_secure->enableTls(m_ca.serverCertificate(), m_ca.serverKey(), true);
    m_secure->requireBasicAuth(u"/private/"_s, u"user"_s, u"secret"_s);
    m_secure->addDirective(u"location = /big.mpg { limit_rate 8m; }"_s);
    QVERIFY2(m_secure->start(), qPrintable(m_secure->errorString()));
    // Ends each connection with a GOAWAY after three requests: streams it never took are lost.
    m_goaway = std::make_unique<NginxFixture>(m_root.path());
    m_goaway->enableTls(m_ca.serverCertificate(), m_ca.serverKey(), true);
    m_goaway->requireBasicAuth(u"/private/"_s, u"user"_s, u"secret"_s);
    m_goaway->addDirective(u"keepalive_requests 3;"_s);
    QVERIFY2(m_goaway->start(), qPrintable(m_goaway->errorString()));
    qputenv("CURL_CA_BUNDLE", QFile::encodeName(m_ca.caCertificate()));
}

Outcome TestCrawlConnections::crawl(int connections, const QString& top, const QList<Settings>& runs)
{
    CrawlHarness harness;
    SettingsStore& settings = harness.settings();
    settings.save(SettingsKeys::SearchType, 2);
    settings.save(SettingsKeys::DeepCount, 0);
    settings.save(SettingsKeys::MaxSize, 0);
    settings.save(SettingsKeys::ListViewCheck, 1);
    settings.save(SettingsKeys::SiteAddress, top);
    settings.save(SettingsKeys::AuthString, MakeBasicCredential(u"user"_s, u"secret"_s));
    settings.save(SettingsKeys::Connections, connections);
    harness.context->listDisplay = [&harness] { IEView_Click(harness.settings(), harness.host); };
    for (const Settings& run : runs) {
        for (const auto& [key, value] : run)
            settings.save(key, value);
        harness.start(top);
    }
    return { SaveFolderContents(harness.saveDir()), harness.host.counters, harness.host.messages,
        harness.host.currentAddresses.value(harness.host.currentAddresses.size() - 1) };
}

void TestCrawlConnections::sameOutputsForEveryNumberOfConnections_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("topPath");
    QTest::addColumn<QList<Settings>>("runs"); // settings changed before each crawl into the same folder
    const QList<Settings> once { Settings {} };
    namespace K = SettingsKeys;
    QTest::newRow("every file of the host at unlimited depth") << u"nginx"_s << u"/"_s << once;
    QTest::newRow("depth 1") << u"nginx"_s << u"/"_s << QList<Settings> { { { K::DeepCount, u"1"_s } } };
    QTest::newRow("depth 2") << u"nginx"_s << u"/"_s << QList<Settings> { { { K::DeepCount, u"2"_s } } };
    QTest::newRow("scope 1 below the top address")
        << u"nginx"_s << u"/docs/page.html"_s << QList<Settings> { { { K::SearchType, u"1"_s } } };
    QTest::newRow("scope 3 into another host's folder")
        << u"nginx"_s << u"/"_s << QList<Settings> { { { K::SearchType, u"3"_s } } };
    QTest::newRow("extensions, names that must and must not occur")
        << u"nginx"_s << u"/"_s
        << QList<Settings> { { { K::DownloadExts, u".GIF;.mpg"_s }, { K::OnDownFileNames, u"a;big;d"_s },
               { K::NotDownFileNames, u"thumb"_s } } };
    QTest::newRow("size limits") << u"nginx"_s << u"/"_s
                                 << QList<Settings> { { { K::MaxSize, u"3"_s }, { K::MinSize, u"1"_s } } };
    QTest::newRow("no directory tree, where same names meet")
        << u"nginx"_s << u"/"_s << QList<Settings> { { { K::NoDirTree, u"1"_s } } };
    QTest::newRow("a large file in ranged pieces")
        << u"nginx"_s << u"/"_s << QList<Settings> { { { K::DownloadExts, u".mpg"_s }, { K::BuffLen, u"0.3"_s } } };
    QTest::newRow("wrong credentials") << u"nginx"_s << u"/"_s
                                       << QList<Settings> {
                                              { { K::AuthString, MakeBasicCredential(u"user"_s, u"wrong"_s) } }
                                          };
    QTest::newRow("same-name rules over four crawls into one folder")
        << u"nginx"_s << u"/"_s
        << QList<Settings> { { { K::DeepCount, u"2"_s }, { K::DownloadExts, u".gif"_s } }, {},
               { { K::SkipSameName, u"0"_s } }, { { K::NumberDuplicates, u"0"_s } } };
    QTest::newRow("srcset, style sheets that import each other, background, poster and a refresh")
        << u"nginx"_s << u"/links/index.html"_s << once;
    QTest::newRow("robots.txt followed") << u"nginx"_s << u"/"_s << QList<Settings> { { { K::FollowRobots, u"1"_s } } };
    QTest::newRow("the pages of the sitemaps, an index and a gzip one, robots.txt followed")
        << u"nginx"_s << u"/links/index.html"_s
        << QList<Settings> { { { K::FollowRobots, u"1"_s }, { K::FollowSitemaps, u"1"_s } } };
    QTest::newRow("out of order answers, failures, errors, redirects and odd pages")
        << u"scripted"_s << u"/o/"_s << once;
    QTest::newRow("the same at depth 1") << u"scripted"_s << u"/o/"_s
                                         << QList<Settings> { { { K::DeepCount, u"1"_s } } };
    QTest::newRow("every file over HTTP/2") << u"https"_s << u"/"_s << once;
    QTest::newRow("a large file in ranged pieces over HTTP/2")
        << u"https"_s << u"/"_s << QList<Settings> { { { K::DownloadExts, u".mpg"_s }, { K::BuffLen, u"0.3"_s } } };
    QTest::newRow("srcset, style sheets that import each other, background, poster and a refresh over HTTP/2")
        << u"https"_s << u"/links/index.html"_s << once;
    QTest::newRow("an HTTP/2 server that sends GOAWAY after three streams") << u"goaway"_s << u"/"_s << once;
    QTest::newRow("a site that sets forty new cookies with every answer") << u"flood"_s << u"/"_s << once;
    QTest::newRow("a server that answers a third connection 503") << u"refusing"_s << u"/"_s << once;
    QTest::newRow("a server that closes a third connection, counting closed ones a while")
        << u"closing"_s << u"/"_s << once;
}

void TestCrawlConnections::sameOutputsForEveryNumberOfConnections()
{
    QFETCH(QString, server);
    QFETCH(QString, topPath);
    QFETCH(QList<Settings>, runs);
    if ((server == u"https"_s || server == u"goaway"_s) && !m_secure)
        QSKIP("openssl is not installed (scripts/install-deps --test installs it)");
    const QString top = server == u"nginx"_s ? m_nginx->url(topPath)
        : server == u"https"_s               ? m_secure->url(topPath)
        : server == u"goaway"_s              ? m_goaway->url(topPath)
        : server == u"refusing"_s            ? m_refusing.url(topPath)
        : server == u"closing"_s             ? m_closing.url(topPath)
        : server == u"flood"_s               ? m_flood.url(topPath)
                                             : m_scripted.url(topPath);
    const Outcome one = crawl(1, top, runs);
    QVERIFY(one.files.size() > 5);
    QCOMPARE(one.lastAddress, u"終了"_s);
    for (const int connections : { 2, 6, 16 }) {
        const Outcome several = crawl(connections, top, runs);
        const QString difference = differenceOf(one, several);
        QVERIFY2(difference.isEmpty(), qPrintable(QString::number(connections) + u" connections, "_s + difference));
    }
}

void TestCrawlConnections::requestsOverlapOnSeveralConnections()
{
    // fail.gif closes its connection each time it is asked, so one connection is opened again and again.
    const int before = m_scripted.connectionCount();
    crawl(1, m_scripted.url(u"/o/"_s), { Settings {} });
    const int serial = m_scripted.connectionCount() - before;
    const int between = m_scripted.connectionCount();
    crawl(6, m_scripted.url(u"/o/"_s), { Settings {} });
    QVERIFY2(m_scripted.connectionCount() - between > serial, "six connections carry the requests side by side");
}

void TestCrawlConnections::nearlyEveryRequestIsServedFromAPrediction_data()
{
    QTest::addColumn<QString>("top");
    QTest::newRow("the site") << u"/"_s;
    QTest::newRow("a page of far more links than one stretch of predictions") << u"/many/index.html"_s;
}

void TestCrawlConnections::nearlyEveryRequestIsServedFromAPrediction()
{
    // What the look-ahead predicts must be what the crawl then sends, or several connections
    // quietly become one again.
    QFETCH(QString, top);
    CrawlHarness harness;
    harness.settings().save(SettingsKeys::SearchType, 2);
    harness.settings().save(SettingsKeys::DeepCount, 0);
    harness.settings().save(SettingsKeys::MaxSize, 0);
    harness.settings().save(SettingsKeys::AuthString, MakeBasicCredential(u"user"_s, u"secret"_s));
    harness.settings().save(SettingsKeys::Connections, 6);
    harness.start(m_nginx->url(top));
    const int afterTheFirst = harness.transfer.executedRequests() - 1;
    QVERIFY(afterTheFirst > 20);
    QVERIFY2(harness.transfer.servedFromPredictions() * 10 >= afterTheFirst * 9,
        qPrintable(
            QString::number(harness.transfer.servedFromPredictions()) + u" of "_s + QString::number(afterTheFirst)));
}

void TestCrawlConnections::noMoreConnectionsThanAllowed_data()
{
    QTest::addColumn<int>("connections");
    QTest::newRow("one") << 1;
    QTest::newRow("two") << 2;
    QTest::newRow("three") << 3;
    QTest::newRow("six") << 6;
}

void TestCrawlConnections::noMoreConnectionsThanAllowed()
{
    // Thirty files on three hosts in turn: none may keep more connections open than allowed, nor
    // may all of them together.
    QFETCH(int, connections);
    std::array<ScriptedHttpServer, 3> hosts;
    QList<quint16> ports;
    for (ScriptedHttpServer& host : hosts) {
        QVERIFY(host.start());
        ports.append(host.port());
    }
    QByteArray page;
    for (int i = 0; i < 30; ++i) {
        const QByteArray name = "/p" + QByteArray::number(i) + ".gif";
        page += "<img src=\"" + hosts[i % 3].url(QString::fromLatin1(name)).toLatin1() + "\">";
        hosts[i % 3].route(name, answer(200, "OK", "image/gif", content(QString::number(i), 100 + i), 30));
    }
    hosts[0].route("/", answer(200, "OK", "text/html", page));
    CrawlHarness harness;
    harness.settings().save(SettingsKeys::SearchType, 3);
    harness.settings().save(SettingsKeys::MaxSize, 0);
    harness.settings().save(SettingsKeys::Connections, connections);
    int peak = 0;
    // The system's table is read in pieces, which may meet a connection closed and its successor
    // opened between them: an overlap counts when two reads in a row see it.
    harness.host.onYield = [&] { peak = std::max(peak, std::min(establishedTo(ports), establishedTo(ports))); };
    harness.start(hosts[0].url(u"/"_s));
    QCOMPARE(harness.host.counter(Counter::Download), 30);
    QVERIFY2(peak <= connections, qPrintable(QString::number(peak)));
    for (const ScriptedHttpServer& host : hosts)
        QVERIFY2(host.peakOpenConnections() <= connections, qPrintable(QString::number(host.peakOpenConnections())));
    QVERIFY2(connections == 1 || peak > 1, "the requests overlap");
}

void TestCrawlConnections::requestsToOneHostKeepTheInterval()
{
    ScriptedHttpServer server;
    QVERIFY(server.start());
    server.route("/", answer(200, "OK", "text/html", "<img src=a.gif><img src=b.gif><img src=c.gif>"));
    for (const QByteArray& name : { "/a.gif"_ba, "/b2.gif"_ba, "/c.gif"_ba })
        server.route(name, answer(200, "OK", "image/gif", name));
    // Each hop of a redirect is a request of its own.
    server.route("/b.gif", answer(302, "Found", "text/html", "", 0, { { "Location", "/b1.gif" } }));
    server.route("/b1.gif", answer(302, "Found", "text/html", "", 0, { { "Location", "/b2.gif" } }));
    constexpr int interval = 150;
    const Outcome outcome
        = crawl(6, server.url(u"/"_s), { Settings { { SettingsKeys::RequestIntervalMs, QString::number(interval) } } });
    QCOMPARE(outcome.counters[size_t(Counter::Download)], 3);
    const QList<ScriptedHttpServer::Request> requests = server.requests();
    QCOMPARE(requests.size(), 12);
    // The interval is kept between starts; the way to the server may differ by a few ms per request.
    constexpr int network = 20;
    for (qsizetype i = 1; i < requests.size(); ++i)
        QVERIFY2(requests[i].arrivedMs - requests[i - 1].arrivedMs >= interval - network,
            qPrintable(QString::number(requests[i].arrivedMs - requests[i - 1].arrivedMs)));
}

void TestCrawlConnections::aStopInMidCrawlResumesToTheSameEnd()
{
    const QString top = m_nginx->url(u"/"_s);
    const Outcome reference = crawl(1, top, { Settings {} });

    CrawlHarness harness;
    SettingsStore& settings = harness.settings();
    settings.save(SettingsKeys::SearchType, 2);
    settings.save(SettingsKeys::DeepCount, 0);
    settings.save(SettingsKeys::MaxSize, 0);
    settings.save(SettingsKeys::ListViewCheck, 1);
    settings.save(SettingsKeys::SiteAddress, top);
    settings.save(SettingsKeys::AuthString, MakeBasicCredential(u"user"_s, u"secret"_s));
    settings.save(SettingsKeys::Connections, 6);
    harness.context->listDisplay = [&harness] { IEView_Click(harness.settings(), harness.host); };
    harness.host.onYield = [&harness] {
        if (harness.state.Counters[Counter::Download] >= 2)
            harness.state.StopRequested = true;
    };
    harness.start(top);
    QCOMPARE(harness.host.currentAddresses.last(), u"中断"_s);
    harness.host.onYield = {};
    harness.resume();
    QCOMPARE(harness.host.currentAddresses.last(), u"終了"_s);
    const Outcome resumed { SaveFolderContents(harness.saveDir()), harness.host.counters, {}, u"終了"_s };
    QCOMPARE(resumed.files.keys(), reference.files.keys());
    for (const QString& name : reference.files.keys()) {
        // A resumed run writes its own resume record and list pages; the tree and logs are the same.
        if (name.endsWith(u".html"_s) || name.contains(u"FetchwrightRecode"_s))
            continue;
        QVERIFY2(resumed.files.value(name) == reference.files.value(name), qPrintable(name));
    }
}

void TestCrawlConnections::idleConnectionsDoNotHoldTheServersWorkers()
{
    // Two workers, each kept by an open connection until it has been idle for five seconds: a
    // crawl that left idle connections open would wait for them to time out.
    ScriptedHttpServer server;
    QVERIFY(server.start());
    server.limitWorkers(2, 5000);
    serveThirtyFiles(server);
    const Outcome outcome = crawl(6, server.url(u"/"_s), { Settings {} });
    QCOMPARE(outcome.counters[size_t(Counter::Download)], 30);
    QCOMPARE(server.idleClosings(), 0);
}

void TestCrawlConnections::shortRangedAnswersAreNotPredictedOverAndOver()
{
    // The server answers each range with at most 64 KiB, fewer than asked: pieces predicted from
    // where the file was expected to continue can never be used.
    ScriptedHttpServer server;
    QVERIFY(server.start());
    server.serveFile("/big.bin", content(u"big"_s, 2 * 1024 * 1024), 64 * 1024);
    server.route("/", answer(200, "OK", "text/html", "<a href=big.bin>big</a>"));
    const QList<Settings> runs { { { SettingsKeys::DownloadExts, u".bin"_s }, { SettingsKeys::BuffLen, u"0.25"_s } } };
    const Outcome one = crawl(1, server.url(u"/"_s), runs);
    const qsizetype serial = server.requests().size();
    const Outcome several = crawl(6, server.url(u"/"_s), runs);
    const QString difference = differenceOf(one, several);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    QCOMPARE(one.counters[size_t(Counter::Download)], 1);
    const qsizetype parallel = server.requests().size() - serial;
    QVERIFY2(parallel <= serial + 6, qPrintable(QString::number(serial) + u" / "_s + QString::number(parallel)));
}

void TestCrawlConnections::http2GivesTheCrawlOfHttp11()
{
    if (!m_secure)
        QSKIP("openssl is not installed (scripts/install-deps --test installs it)");
    qsizetype mark = m_secure->accessLog().size();
    const Outcome plain = crawl(6, m_secure->url(u"/"_s), { Settings { { SettingsKeys::Http2, u"0"_s } } });
    const QStringList plainRequests = m_secure->accessLog().mid(mark);
    mark = m_secure->accessLog().size();
    const Outcome multiplexed = crawl(6, m_secure->url(u"/"_s), { Settings {} });
    const QStringList requests = m_secure->accessLog().mid(mark);

    QVERIFY(plainRequests.size() > 20);
    for (const QString& request : plainRequests)
        QVERIFY2(request.contains(u" HTTP/1.1\""_s), qPrintable(request));
    QSet<QString> connections;
    for (const QString& request : requests) {
        QVERIFY2(request.contains(u" HTTP/2.0\""_s), qPrintable(request));
        connections.insert(request.section(u' ', 0, 0));
    }
    QVERIFY2(connections.size() <= 6, qPrintable(QString::number(connections.size())));
    const QString difference = differenceOf(plain, multiplexed);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

QTEST_GUILESS_MAIN(TestCrawlConnections)
#include "tst_crawlconnections.moc"

void TestCrawlConnections::theServerSeesTheRequestsOfOneConnection_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<Settings>("settings");
    QTest::newRow("nginx, every file") << u"nginx"_s << Settings {};
    QTest::newRow("nginx, a large file in ranged pieces")
        << u"nginx"_s << Settings { { SettingsKeys::DownloadExts, u".mpg"_s }, { SettingsKeys::BuffLen, u"0.3"_s } };
    QTest::newRow("a slow server, a 6 MiB file in ranged pieces")
        << u"slow"_s << Settings { { SettingsKeys::DownloadExts, u".gif;.bin"_s }, { SettingsKeys::BuffLen, u"1"_s } };
}

void TestCrawlConnections::theServerSeesTheRequestsOfOneConnection()
{
    // Method, target and range of every request the server received, in a stable order: the look-ahead
    // may send them earlier and side by side, never more, fewer or others.
    QFETCH(QString, server);
    QFETCH(Settings, settings);
    const bool slow = server == u"slow"_s;
    const auto requestsOf = [&](int connections) {
        const qsizetype before = slow ? m_slow.requests().size() : m_nginx->accessLog().size();
        crawl(connections, slow ? m_slow.url(u"/"_s) : m_nginx->url(u"/"_s), { settings });
        QStringList seen;
        if (slow) {
            for (const ScriptedHttpServer::Request& request : m_slow.requests().mid(before)) {
                const QString head = QString::fromLatin1(request.head);
                seen.append(head.section(u' ', 0, 1) + u' ' + HeaderValue(head, u"range:"_s));
            }
        } else {
            for (const QString& line : m_nginx->accessLog().mid(before))
                seen.append(line.section(u'"', 1, 1) + u' ' + line.section(u'"', 3, 3));
        }
        seen.sort();
        return seen;
    };
    const QStringList serial = requestsOf(1);
    QVERIFY(serial.size() > 5);

    for (const int connections : { 6, 16 })
        QCOMPARE(requestsOf(connections), serial);
}
