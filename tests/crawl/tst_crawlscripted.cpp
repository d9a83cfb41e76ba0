// Whole crawls against a scripted server: the bytes each request is answered with are given here,
// and the records, logs, counters and files the engine leaves are checked.
#include "crawl/crawlrun.h"
#include "records/logs.h"
#include "records/recordline.h"
#include "records/resumerecord.h"
#include "settings/settingskeys.h"
#include "storage/partfile.h"

#include "support/crawlharness.h"
#include "support/scriptedhttpserver.h"

#include <QFile>
#include <QTest>
#include <QUrl>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using Reply = ScriptedHttpServer::Reply;
using Headers = ScriptedHttpServer::Headers;

namespace {

Reply page(const QByteArray& html)
{
    return { ScriptedHttpServer::response(200, "OK", { { "Content-Type", "text/html" } }, html) };
}

Reply file(const QByteArray& body, const QByteArray& type = "image/gif", const Headers& extra = {})
{
    Headers headers { { "Content-Type", type } };
    headers += extra;
    return { ScriptedHttpServer::response(200, "OK", headers, body) };
}

Reply status(int code, const QByteArray& reason)
{
    return { ScriptedHttpServer::response(code, reason, { { "Content-Type", "text/html" } }, "<p>" + reason + "</p>") };
}

QByteArray binary(int size, char seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + seed) % 256);
    return bytes;
}

// "METHOD target" of every request the server received.
QStringList transcript(const ScriptedHttpServer& server)
{
    QStringList lines;
    for (const ScriptedHttpServer::Request& request : server.requests())
        lines.append(QString::fromLatin1(request.head.left(request.head.indexOf(' ')) + ' ' + request.target()));
    return lines;
}

QByteArray headOf(const ScriptedHttpServer& server, const QByteArray& requestLineStart)
{
    for (const ScriptedHttpServer::Request& request : server.requests())
        if (request.head.startsWith(requestLineStart))
            return request.head;
    return {};
}

// The fields of each record line of a log, time stamps dropped.
QList<QStringList> recordsOf(const QStringList& lines)
{
    QList<QStringList> records;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QStringList fields = SplitRecordLine(lines[i]);
        fields.removeFirst();
        records.append(fields);
    }
    return records;
}

} // namespace

class TestCrawlScripted : public QObject {
    Q_OBJECT
private slots:
    void init();
    void crawlsASiteLevelByLevel();
    void requestsCarryTheirHeaderLinesInOrder();
    void depthLimitKeepsDeeperLinksOut();
    void anErrorAnswerToAGetLeavesNoFile();
    void anErrorAnswerIsFinalAndItsPageIsScanned();
    void aBodylessCloseIsAFailureAndAnEmptyFileIsSaved();
    void aRefusedHeadNeverHangsOnALargeTopPage();
    void aShortTransferIsRepeatedOnce_data();
    void aShortTransferIsRepeatedOnce();
    void sheetsImportedBySheetsNestFourDeep();
    void siteFilesNeverTakeTheCrawlsOwnNames();
    void aTransferErrorIsReportedUnderItsOwnAddress();
    void aProbeWhoseConnectionFailsIsTriedOnceMore();
    void rangedPiecesCarryTheExactEntityTag();
    void aWholeAnswerToARangeReplacesTheFile();
    void aWeakEntityTagFetchesWhole();
    void aServerRefusingHeadIsProbedWithGet();
    void unauthorisedRequestsAreRetriedWithTheCredential();
    void stopInMidTransferThenResumeCompletesTheSameFile();
    void aResumeWithoutARecordFailsWithItsReason();
    void decliningTheResumeListQuestionChangesNothing();
    void aTopPageThatCannotBeHadFailsWithItsReason_data();
    void aTopPageThatCannotBeHadFailsWithItsReason();
    void linkAnswers_data();
    void linkAnswers();
    void aProbesTransferErrorIsReportedUnderItsAddress();
    void baseTagsAndFolderlessPagesResolveAsBrowsersDo();
    void aFolderLinkedWithoutItsSlashIsSavedAsTheFoldersPage();
    void nonAsciiLinksAreEncodedOnTheWireAndDecodedOnDisk();
    void textWithoutATypeIsScannedWhateverItsCharacters();
    void aReplacementThatCannotBeWrittenLeavesTheOldFile_data();
    void aReplacementThatCannotBeWrittenLeavesTheOldFile();
    void aSiteFileNamedLikeATemporaryFileIsKept();

private:
    std::unique_ptr<ScriptedHttpServer> m_server;
    std::unique_ptr<CrawlHarness> m_crawl;
};

void TestCrawlScripted::init()
{
    m_server = std::make_unique<ScriptedHttpServer>();
    QVERIFY(m_server->start());
    m_crawl = std::make_unique<CrawlHarness>();
    m_crawl->settings().save(SettingsKeys::SearchType, 2);
    m_crawl->settings().save(SettingsKeys::ListViewCheck, 0);
    // These transcripts and queued answers follow the requests one at a time, in the crawl's order.
    m_crawl->settings().save(SettingsKeys::Connections, 1);
}

void TestCrawlScripted::crawlsASiteLevelByLevel()
{
    ScriptedHttpServer& server = *m_server;
    server.route("/",
        page("<a href=\"a.gif\">a</a><img src=sub/b.gif><a href='missing.gif'>m</a>"
             "<a href=page.html>p</a><a href=\"http://elsewhere.invalid/x.gif\">x</a>"));
    server.route("/a.gif", file(binary(10, 1)));
    server.route("/sub/b.gif", file(binary(2000, 2)));
    server.route("/missing.gif", status(404, "Not Found"));
    server.route("/page.html", page("<img src=\"c.gif\"><a href=\"/\">top</a>"));
    server.route("/c.gif", file(binary(30, 3)));
    const QString top = server.url(u"/"_s);
    QCOMPARE(m_crawl->start(top).kind, CrawlOutcome::Finished);

    RecordingHost& host = m_crawl->host;
    QCOMPARE(host.currentAddresses.last(), u"終了"_s);
    QCOMPARE(host.messages, QStringList());
    QCOMPARE(m_crawl->siteDir(), m_crawl->saveDir() + u"127.0.0.1."_s + QString::number(server.port()));
    const QMap<QString, QByteArray> expected { { u"a.gif"_s, binary(10, 1) }, { u"sub/b.gif"_s, binary(2000, 2) },
        { u"c.gif"_s, binary(30, 3) } };
    QCOMPARE(m_crawl->mirroredFiles(), expected);

    QCOMPARE(transcript(server),
        (QStringList { u"HEAD /"_s, u"GET /"_s, u"HEAD /a.gif"_s, u"HEAD /sub/b.gif"_s, u"HEAD /missing.gif"_s,
            u"HEAD /page.html"_s, u"GET /a.gif"_s, u"GET /sub/b.gif"_s, u"GET /page.html"_s, u"HEAD /c.gif"_s,
            u"GET /c.gif"_s }));
    QCOMPARE(m_crawl->logLines(DetectedLogName),
        (QStringList { DetectedLogHeader, u"\""_s + top + u"\",\"\""_s, u"\""_s + top + u"a.gif\",\"\""_s,
            u"\""_s + top + u"sub/b.gif\",\"\""_s, u"\""_s + top + u"missing.gif\",\"\""_s,
            u"\""_s + top + u"page.html\",\"\""_s, u"\""_s + top + u"c.gif\",\"\""_s }));
    const QList<QStringList> downloads = recordsOf(m_crawl->logLines(DownloadLogName));
    QCOMPARE(downloads.size(), 3);
    QCOMPARE(downloads[2],
        (QStringList { u"c.gif"_s, ToNativeSeparators(m_crawl->siteDir() + u"/c.gif"_s), top + u"c.gif"_s,
            top + u"page.html"_s, top }));
    const QList<QStringList> errors = recordsOf(m_crawl->logLines(ErrorResponseLogName));
    QCOMPARE(errors,
        (QList<QStringList> { { u"Webサーバ レスポンスエラー"_s,
            u"Webサーバがエラーを返しました。HTTP/1.1 404 Not Found"_s, top + u"missing.gif"_s, top } }));

    QCOMPARE(host.counter(Counter::Detect), 6);
    QCOMPARE(host.counter(Counter::Download), 3);
    QCOMPARE(host.counter(Counter::Checked), 5);
    QCOMPARE(host.counter(Counter::Failure), 0);
    QCOMPARE(host.counter(Counter::Planned), 3);
    QCOMPARE(host.counter(Counter::ErrorResponse), 1);
    QCOMPARE(ReadResumeList(ResumeListPath(m_crawl->saveDir())).value(), QStringList());
    const std::optional<ResumeRecord> record = ReadResumeRecord(ResumeRecordPath(m_crawl->siteDir()));
    QVERIFY(record);
    QCOMPARE(record->counters[Counter::Checked], 5);
    QCOMPARE(record->counters[Counter::Detect], 6);
}

void TestCrawlScripted::requestsCarryTheirHeaderLinesInOrder()
{
    ScriptedHttpServer& server = *m_server;
    server.route("/", page("<a href=\"a.gif\">a</a>"));
    server.route("/a.gif", file("GIF89a"));
    m_crawl->settings().save(SettingsKeys::UserAgent, u"Agent/1.0"_s);
    m_crawl->start(server.url(u"/"_s));
    const QByteArray host = "Host: 127.0.0.1:" + QByteArray::number(server.port()) + "\r\n";
    const QByteArray referer = "Referer: " + server.url(u"/"_s).toLatin1() + "\r\n";
    const QByteArray agent = "User-Agent: \"Agent/1.0\"\r\n";
    for (const QByteArray& start : { "HEAD /a.gif "_ba, "GET /a.gif "_ba }) {
        const QByteArray head = headOf(server, start);
        QVERIFY2(!head.isEmpty(), start.constData());
        const qsizetype r = head.indexOf(referer);
        const qsizetype a = head.indexOf(agent);
        const qsizetype h = head.indexOf(host);
        QVERIFY2(r > 0 && a > r && h > a, head.constData());
        QVERIFY2(!head.contains("Range:") && !head.contains("Authorization"), head.constData());
    }
    QVERIFY(!headOf(server, "GET / ").contains("Referer"));
}

void TestCrawlScripted::depthLimitKeepsDeeperLinksOut()
{
    ScriptedHttpServer& server = *m_server;
    server.route("/", page("<a href=\"a.gif\">a</a><a href=page.html>p</a>"));
    server.route("/a.gif", file("a"));
    server.route("/page.html", page("<img src=\"c.gif\">"));
    server.route("/c.gif", file("c"));
    m_crawl->settings().save(SettingsKeys::DeepCount, 1);
    m_crawl->start(server.url(u"/"_s));
    QCOMPARE(m_crawl->mirroredFiles().keys(), QStringList { u"a.gif"_s });
    QVERIFY(!transcript(server).contains(u"HEAD /c.gif"_s));
    QVERIFY2(
        !transcript(server).contains(u"GET /page.html"_s), "a page at the last level that is not saved is not fetched");
    QCOMPARE(m_crawl->host.counter(Counter::Checked), 3);
}

void TestCrawlScripted::anErrorAnswerToAGetLeavesNoFile()
{
    ScriptedHttpServer& server = *m_server;
    server.route("/", page("<a href=\"a.gif\">a</a>"));
    server.enqueue(
        { ScriptedHttpServer::response(200, "OK", { { "Content-Type", "image/gif" }, { "Content-Length", "5" } }) });
    server.enqueue(status(500, "Internal Server Error"));
    server.enqueue(status(500, "Internal Server Error"));
    m_crawl->start(server.url(u"/"_s));
    QCOMPARE(m_crawl->host.currentAddresses.last(), u"終了"_s);
    QCOMPARE(m_crawl->mirroredFiles(), (QMap<QString, QByteArray>()));
    QCOMPARE(m_crawl->logLines(DownloadLogName), QStringList { DownloadLogHeader });
    QCOMPARE(m_crawl->host.counter(Counter::Download), 0);
    QCOMPARE(transcript(server).count(u"GET /a.gif"_s), 1);
    const QList<QStringList> errors = recordsOf(m_crawl->logLines(ErrorResponseLogName));
    QCOMPARE(errors.size(), 1);
    QVERIFY(errors[0][1].endsWith(u"500 Internal Server Error"_s));
    QCOMPARE(m_crawl->host.counter(Counter::ErrorResponse), 1);
    QCOMPARE(m_crawl->host.counter(Counter::Failure), 0);
}

void TestCrawlScripted::anErrorAnswerIsFinalAndItsPageIsScanned()
{
    ScriptedHttpServer& server = *m_server;
    server.route("/", page("<a href=\"doc.html\">d</a>"));
    server.route("/found.gif", file("found"));
    server.enqueue(
        { ScriptedHttpServer::response(200, "OK", { { "Content-Type", "text/html" }, { "Content-Length", "300" } }) });
    server.enqueue({ ScriptedHttpServer::response(404, "Not Found", { { "Content-Type", "text/html" } },
        "<p>gone, but see <a href=\"found.gif\">this</a></p>") });
    const QString top = server.url(u"/"_s);
    m_crawl->start(top);
    QCOMPARE(transcript(server),
        (QStringList { u"HEAD /"_s, u"GET /"_s, u"HEAD /doc.html"_s, u"GET /doc.html"_s, u"HEAD /found.gif"_s,
            u"GET /found.gif"_s }));
    const QList<QStringList> errors = recordsOf(m_crawl->logLines(ErrorResponseLogName));
    QCOMPARE(errors,
        (QList<QStringList> { { u"Webサーバ レスポンスエラー"_s,
            u"Webサーバがエラーを返しました。HTTP/1.1 404 Not Found"_s, top + u"doc.html"_s, top } }));
    QCOMPARE(m_crawl->host.counter(Counter::ErrorResponse), 1);
    QCOMPARE(m_crawl->logLines(FailureReportName), QStringList());
    QCOMPARE(m_crawl->mirroredFiles(), (QMap<QString, QByteArray> { { u"found.gif"_s, "found"_ba } }));
    QCOMPARE(m_crawl->host.counter(Counter::Download), 1);
}

void TestCrawlScripted::aBodylessCloseIsAFailureAndAnEmptyFileIsSaved()
{
    ScriptedHttpServer& server = *m_server;
    server.route("/", page("<a href=\"a.gif\">a</a><a href=\"zero.gif\">z</a>"));
    const Headers announced { { "Content-Type", "image/gif" }, { "Content-Length", "3" } };
    server.enqueue({ ScriptedHttpServer::response(200, "OK", announced) });
    // Closing here makes the GET come on a fresh connection, which libcurl does not retry by itself.
    Reply empty { ScriptedHttpServer::response(
        200, "OK", { { "Content-Type", "image/gif" }, { "Content-Length", "0" } }) };
    empty.closeAfter = true;
    server.enqueue(empty);
    server.enqueue(ScriptedHttpServer::nothingThenClose());
    server.enqueue(ScriptedHttpServer::nothingThenClose());
    server.enqueue(file({}));
    const QString top = server.url(u"/"_s);
    m_crawl->start(top);
    QCOMPARE(transcript(server).mid(2),
        (QStringList { u"HEAD /a.gif"_s, u"HEAD /zero.gif"_s, u"GET /a.gif"_s, u"GET /a.gif"_s, u"GET /zero.gif"_s }));
    const QList<QStringList> failures = recordsOf(m_crawl->logLines(FailureReportName));
    QCOMPARE(failures.size(), 1);
    QCOMPARE(failures[0][0], u"接続エラーが起きました。エラー：52"_s);
    QCOMPARE(failures[0][2], top + u"a.gif"_s);
    QCOMPARE(m_crawl->mirroredFiles(), (QMap<QString, QByteArray> { { u"zero.gif"_s, QByteArray() } }));
    const QList<QStringList> downloads = recordsOf(m_crawl->logLines(DownloadLogName));
    QCOMPARE(downloads.size(), 1);
    QCOMPARE(downloads[0][0], u"zero.gif"_s);
    QCOMPARE(m_crawl->host.counter(Counter::Download), 1);
    QCOMPARE(m_crawl->host.counter(Counter::Failure), 1);
}

void TestCrawlScripted::aRefusedHeadNeverHangsOnALargeTopPage()
{
    ScriptedHttpServer& server = *m_server;
    // The refused HEAD of the top address, then its stand-in GET, then the page's own GET.
    const QByteArray large = "<html>" + QByteArray(6 * 1048576, ' ') + "<a href=\"end.gif\">end</a></html>";
    server.enqueue(status(405, "Method Not Allowed"));
    server.enqueue(page(large));
    server.enqueue(page(large));
    server.route("/end.gif", file("end"));
    m_crawl->settings().save(SettingsKeys::ScanLimitMB, 8);
    m_crawl->start(server.url(u"/"_s));
    QCOMPARE(m_crawl->host.currentAddresses.last(), u"終了"_s);
    QCOMPARE(transcript(server),
        (QStringList { u"HEAD /"_s, u"GET /"_s, u"GET /"_s, u"HEAD /end.gif"_s, u"GET /end.gif"_s }));
    QCOMPARE(m_crawl->mirroredFiles(), (QMap<QString, QByteArray> { { u"end.gif"_s, "end"_ba } }));
    QCOMPARE(m_crawl->host.counter(Counter::ErrorResponse), 0);
}

void TestCrawlScripted::aShortTransferIsRepeatedOnce_data()
{
    QTest::addColumn<bool>("secondWhole");
    QTest::newRow("cut short twice: no file, one failure") << false;
    QTest::newRow("whole the second time: saved, and only the last try's outcome is reported") << true;
}

void TestCrawlScripted::aShortTransferIsRepeatedOnce()
{
    QFETCH(bool, secondWhole);
    ScriptedHttpServer& server = *m_server;
    const QByteArray body = binary(100, 5);
    server.route("/", page("<a href=\"a.gif\">a</a>"));
    server.enqueue(
        { ScriptedHttpServer::response(200, "OK", { { "Content-Type", "image/gif" }, { "Content-Length", "100" } }) });
    Reply cut = file(body);
    cut.closeAfterBytes = cut.bytes.size() - 50;
    server.enqueue(cut);
    server.enqueue(secondWhole ? file(body) : cut);
    const QString top = server.url(u"/"_s);
    m_crawl->start(top);
    QCOMPARE(transcript(server).count(u"GET /a.gif"_s), 2);
    const QList<QStringList> failures = recordsOf(m_crawl->logLines(FailureReportName));
    if (secondWhole) {
        QCOMPARE(m_crawl->mirroredFiles(), (QMap<QString, QByteArray> { { u"a.gif"_s, body } }));
        QCOMPARE(m_crawl->host.counter(Counter::Download), 1);
        QVERIFY2(failures.isEmpty(), qPrintable(failures.value(0).join(u'|')));
        QCOMPARE(m_crawl->host.counter(Counter::Failure), 0);
        return;
    }
    QCOMPARE(m_crawl->mirroredFiles(), (QMap<QString, QByteArray>()));
    QCOMPARE(m_crawl->host.counter(Counter::Download), 0);
    QCOMPARE(m_crawl->logLines(DownloadLogName), QStringList { DownloadLogHeader });
    QCOMPARE(failures.size(), 1);
    QCOMPARE(failures[0][0], u"接続エラーが起きました。エラー：18"_s);
    QCOMPARE(failures[0][2], top + u"a.gif"_s);
    QCOMPARE(m_crawl->host.counter(Counter::Failure), 1);
}

void TestCrawlScripted::sheetsImportedBySheetsNestFourDeep()
{
    // A chain of 30 sheets, each importing the next, at depth 1: the page's sheet and four below it.
    ScriptedHttpServer& server = *m_server;
    server.route("/", page("<link rel=stylesheet href=s0.css>"));
    for (int i = 0; i < 30; ++i)
        server.route("/s" + QByteArray::number(i) + ".css",
            file("@import 's" + QByteArray::number(i + 1) + ".css';", "text/css"));
    m_crawl->settings().save(SettingsKeys::DownloadExts, u".css"_s);
    m_crawl->settings().save(SettingsKeys::DeepCount, 1);
    for (const int connections : { 1, 6 }) {
        const qsizetype before = transcript(server).size();
        m_crawl->settings().save(SettingsKeys::Connections, connections);
        m_crawl->start(server.url(u"/"_s));
        const QStringList sent = transcript(server).mid(before);
        QCOMPARE(sent.filter(u"GET /s"_s),
            (QStringList { u"GET /s0.css"_s, u"GET /s1.css"_s, u"GET /s2.css"_s, u"GET /s3.css"_s, u"GET /s4.css"_s }));
        QCOMPARE(sent.filter(u"HEAD /s5"_s), QStringList());
        const QList<QStringList> failures = recordsOf(m_crawl->logLines(FailureReportName));
        QCOMPARE(failures.size(), 1);
        QCOMPARE(failures[0][0], u"スタイルシートの読み込みが深すぎます"_s);
    }
}

void TestCrawlScripted::siteFilesNeverTakeTheCrawlsOwnNames()
{
    // A site whose root holds files named as the crawl's queue, cookie jar, log and list page.
    ScriptedHttpServer& server = *m_server;
    const QList<QByteArray> names { "FetchwrightDATA1.csv", "fetchwrightcookies.txt", "_プレビュー1.html" };
    QByteArray links = "<a href=\"%E6%A4%9C%E5%87%BA%E3%82%A2%E3%83%89%E3%83%AC%E3%82%B9.csv\">d</a>";
    server.route("/%E6%A4%9C%E5%87%BA%E3%82%A2%E3%83%89%E3%83%AC%E3%82%B9.csv", file("planted", "text/plain"));
    for (const QByteArray& name : names) {
        links += "<a href=\"" + QUrl::toPercentEncoding(QString::fromUtf8(name)) + "\">x</a>";
        server.route("/" + QUrl::toPercentEncoding(QString::fromUtf8(name)), file("planted", "text/plain"));
    }
    server.route("/", page(links));
    m_crawl->settings().save(SettingsKeys::DownloadExts, u".csv;.txt;.html"_s);
    m_crawl->start(server.url(u"/"_s));
    QCOMPARE(m_crawl->host.currentAddresses.last(), u"終了"_s);
    const QMap<QString, QByteArray> saved = m_crawl->mirroredFiles();
    for (const QString& aside :
        { u"ＦetchwrightDATA1.csv"_s, u"ｆetchwrightcookies.txt"_s, u"＿プレビュー1.html"_s, u"＿検出アドレス.csv"_s })
        QCOMPARE(saved.value(aside), "planted"_ba);
    QCOMPARE(m_crawl->logLines(DetectedLogName).size(), 6); // the header, the top page and the four files
    QCOMPARE(m_crawl->host.counter(Counter::Download), 5); // the top page too
}

void TestCrawlScripted::aTransferErrorIsReportedUnderItsOwnAddress()
{
    ScriptedHttpServer& server = *m_server;
    server.route("/", page("<a href=\"a.gif\">a</a><a href=\"b.gif\">b</a>"));
    server.route("/b.gif", file("bbb"));
    server.enqueue(
        { ScriptedHttpServer::response(200, "OK", { { "Content-Type", "image/gif" }, { "Content-Length", "3" } }) });
    // Sent again once at once, then once more as a broken transfer: each try fails alike.
    for (int i = 0; i < 3; ++i)
        server.enqueue(ScriptedHttpServer::nothingThenClose());
    const QString top = server.url(u"/"_s);
    m_crawl->start(top);
    const QList<QStringList> failures = recordsOf(m_crawl->logLines(FailureReportName));
    QVERIFY(!failures.isEmpty());
    for (const QStringList& failure : failures)
        QCOMPARE(failure[2], top + u"a.gif"_s);
    QCOMPARE(failures[0][0], u"接続エラーが起きました。エラー：52"_s);
    QCOMPARE(m_crawl->mirroredFiles().value(u"b.gif"_s), "bbb"_ba);
}

void TestCrawlScripted::aProbeWhoseConnectionFailsIsTriedOnceMore()
{
    ScriptedHttpServer& server = *m_server;
    Reply top = page("<a href=\"a.gif\">a</a>");
    // The probe then comes on a fresh connection, which libcurl does not try again by itself.
    top.closeAfter = true;
    server.route("/", top);
    server.enqueue(ScriptedHttpServer::nothingThenClose());
    server.enqueue(
        { ScriptedHttpServer::response(200, "OK", { { "Content-Type", "image/gif" }, { "Content-Length", "3" } }) });
    server.enqueue(file("aaa"));
    m_crawl->start(server.url(u"/"_s));
    QCOMPARE(transcript(server).mid(2), (QStringList { u"HEAD /a.gif"_s, u"HEAD /a.gif"_s, u"GET /a.gif"_s }));
    QCOMPARE(m_crawl->mirroredFiles(), (QMap<QString, QByteArray> { { u"a.gif"_s, "aaa"_ba } }));
    QCOMPARE(m_crawl->host.counter(Counter::Failure), 0);
}

void TestCrawlScripted::rangedPiecesCarryTheExactEntityTag()
{
    ScriptedHttpServer& server = *m_server;
    const QByteArray body = binary(3000, 9);
    server.route("/", page("<a href=\"big.gif\">a</a>"));
    const Headers headers { { "Content-Type", "image/gif" }, { "Content-Length", "3000" }, { "ETag", "\"AbC-1\"" },
        { "Accept-Ranges", "bytes" } };
    server.enqueue({ ScriptedHttpServer::response(200, "OK", headers) });
    const auto piece = [&](qint64 from, qint64 to) {
        const qint64 last = qMin<qint64>(to, 2999);
        return Reply { ScriptedHttpServer::response(206, "Partial Content",
            { { "Content-Type", "image/gif" },
                { "Content-Range", "bytes " + QByteArray::number(from) + '-' + QByteArray::number(last) + "/3000" } },
            body.mid(from, last - from + 1)) };
    };
    m_crawl->settings().save(SettingsKeys::BuffLen, u"0.001"_s); // 1049 bytes a piece
    server.enqueue(piece(0, 1049));
    server.enqueue(piece(1050, 2099));
    server.enqueue(piece(2100, 3000));
    m_crawl->start(server.url(u"/"_s));
    QCOMPARE(m_crawl->mirroredFiles().value(u"big.gif"_s), body);
    QStringList ranges;
    for (const ScriptedHttpServer::Request& request : server.requests()) {
        if (!request.head.startsWith("GET /big.gif"))
            continue;
        QVERIFY2(request.head.contains("If-Match: \"AbC-1\"\r\n"), request.head.constData());
        ranges.append(QString::fromLatin1(request.head.mid(request.head.indexOf("Range: "))).section(u'\r', 0, 0));
    }
    QCOMPARE(
        ranges, (QStringList { u"Range: bytes=0-1049"_s, u"Range: bytes=1050-2099"_s, u"Range: bytes=2100-3000"_s }));
    QCOMPARE(m_crawl->host.counter(Counter::Failure), 0);
}

void TestCrawlScripted::aWholeAnswerToARangeReplacesTheFile()
{
    ScriptedHttpServer& server = *m_server;
    const QByteArray body = binary(3000, 4);
    server.route("/", page("<a href=\"big.gif\">a</a>"));
    const Headers headers { { "Content-Type", "image/gif" }, { "Content-Length", "3000" }, { "ETag", "\"e\"" },
        { "Accept-Ranges", "bytes" } };
    server.enqueue({ ScriptedHttpServer::response(200, "OK", headers) });
    server.enqueue({ ScriptedHttpServer::response(
        206, "Partial Content", { { "Content-Range", "bytes 0-1049/3000" } }, body.left(1050)) });
    server.enqueue({ ScriptedHttpServer::response(200, "OK", { { "Content-Type", "image/gif" } }, body) });
    m_crawl->settings().save(SettingsKeys::BuffLen, u"0.001"_s);
    m_crawl->start(server.url(u"/"_s));
    QCOMPARE(m_crawl->mirroredFiles().value(u"big.gif"_s), body);
    QCOMPARE(m_crawl->host.counter(Counter::Failure), 0);
}

void TestCrawlScripted::aWeakEntityTagFetchesWhole()
{
    ScriptedHttpServer& server = *m_server;
    const QByteArray body = binary(3000, 6);
    server.route("/", page("<a href=\"big.gif\">a</a>"));
    server.route("/big.gif", file(body, "image/gif", { { "ETag", "W/\"weak\"" }, { "Accept-Ranges", "bytes" } }));
    m_crawl->settings().save(SettingsKeys::BuffLen, u"0.001"_s);
    m_crawl->start(server.url(u"/"_s));
    QCOMPARE(m_crawl->mirroredFiles().value(u"big.gif"_s), body);
    const QByteArray get = headOf(server, "GET /big.gif");
    QVERIFY(!get.contains("Range:"));
    QVERIFY(!get.contains("If-Match"));
}

void TestCrawlScripted::aServerRefusingHeadIsProbedWithGet()
{
    ScriptedHttpServer& server = *m_server;
    const QByteArray body = binary(500, 8);
    server.route("/", page("<a href=\"a.gif\">a</a>"));
    server.enqueue(status(405, "Method Not Allowed"));
    server.enqueue(file(body));
    server.enqueue(file(body));
    m_crawl->start(server.url(u"/"_s));
    QCOMPARE(transcript(server).mid(2), (QStringList { u"HEAD /a.gif"_s, u"GET /a.gif"_s, u"GET /a.gif"_s }));
    QCOMPARE(m_crawl->mirroredFiles().value(u"a.gif"_s), body);
    QCOMPARE(m_crawl->host.counter(Counter::Planned), 1);
    QCOMPARE(m_crawl->host.counter(Counter::ErrorResponse), 0);
}

void TestCrawlScripted::unauthorisedRequestsAreRetriedWithTheCredential()
{
    ScriptedHttpServer& server = *m_server;
    server.route("/", page("<a href=\"a.gif\">a</a>"));
    server.enqueue(status(401, "Unauthorized"));
    server.enqueue(
        { ScriptedHttpServer::response(200, "OK", { { "Content-Type", "image/gif" }, { "Content-Length", "4" } }) });
    server.enqueue(status(401, "Unauthorized"));
    server.enqueue(file("GIF!"));
    m_crawl->settings().save(SettingsKeys::AuthString, u"dXNlcjpwYXNz"_s);
    m_crawl->start(server.url(u"/"_s));
    QCOMPARE(m_crawl->mirroredFiles().value(u"a.gif"_s), "GIF!"_ba);
    QCOMPARE(m_crawl->host.counter(Counter::ErrorResponse), 0);
    const QList<ScriptedHttpServer::Request> requests = server.requests();
    QCOMPARE(requests.size(), 6);
    QVERIFY(!requests[2].head.contains("Authorization"));
    QVERIFY(requests[3].head.contains("Authorization: Basic dXNlcjpwYXNz\r\n"));
    QVERIFY(!requests[4].head.contains("Authorization"));
    QVERIFY(requests[5].head.contains("Authorization: Basic dXNlcjpwYXNz\r\n"));
    // Both files that hold the credential are the user's alone.
    QVERIFY(IsOwnerOnly(m_crawl->settings().filePath()));
    QVERIFY(IsOwnerOnly(ResumeRecordPath(m_crawl->siteDir())));
}

void TestCrawlScripted::stopInMidTransferThenResumeCompletesTheSameFile()
{
    ScriptedHttpServer& server = *m_server;
    const QByteArray body = binary(40000, 7);
    server.route("/", page("<a href=\"a.gif\">a</a><a href=\"b.gif\">b</a>"));
    Reply slow = file(body);
    slow.chunkSize = 2000;
    slow.chunkPauseMs = 10;
    server.route("/a.gif", slow);
    server.route("/b.gif", file("bb"));
    CrawlHarness& crawl = *m_crawl;
    crawl.host.onYield = [&] {
        if (crawl.state.LocalPath.endsWith(u"a.gif"_s) && QFileInfo(PartFilePath(crawl.state.LocalPath)).size() > 0)
            crawl.state.StopRequested = true;
    };
    QCOMPARE(crawl.start(server.url(u"/"_s)).kind, CrawlOutcome::Stopped);
    QCOMPARE(crawl.host.currentAddresses.last(), u"中断"_s);
    QVERIFY(!crawl.mirroredFiles().contains(u"a.gif"_s));
    QVERIFY(QFileInfo(PartFilePath(crawl.siteDir() + u"/a.gif"_s)).size() < body.size());
    QCOMPARE(ReadResumeList(ResumeListPath(crawl.saveDir())).value(), QStringList { server.url(u"/"_s) });

    crawl.host.onYield = {};
    QCOMPARE(crawl.resume().kind, CrawlOutcome::Finished);
    QCOMPARE(crawl.host.currentAddresses.last(), u"終了"_s);
    const QMap<QString, QByteArray> expected { { u"a.gif"_s, body }, { u"b.gif"_s, "bb"_ba } };
    QCOMPARE(crawl.mirroredFiles(), expected);
    QCOMPARE(crawl.host.counter(Counter::Download), 2);
    QCOMPARE(crawl.host.counter(Counter::Checked), 3);
    QCOMPARE(crawl.host.counter(Counter::Detect), 3);
    QCOMPARE(recordsOf(crawl.logLines(DownloadLogName)).size(), 2);
    QCOMPARE(crawl.logLines(DetectedLogName).size(), 4);
    QCOMPARE(ReadResumeList(ResumeListPath(crawl.saveDir())).value(), QStringList());
}

void TestCrawlScripted::aResumeWithoutARecordFailsWithItsReason()
{
    m_crawl->state.SiteDir = m_crawl->saveDir() + u"nowhere"_s;
    const CrawlOutcome outcome = m_crawl->resume();
    QCOMPARE(outcome.kind, CrawlOutcome::Failed);
    QCOMPARE(outcome.reason, u"何らかの理由でエラーが起きました"_s);
    QCOMPARE(outcome.caption(), QString());
    QCOMPARE(m_crawl->host.messages, QStringList { outcome.reason });
    QVERIFY(m_crawl->host.currentAddresses.isEmpty());
}

void TestCrawlScripted::decliningTheResumeListQuestionChangesNothing()
{
    ScriptedHttpServer& server = *m_server;
    const QString listPath = ResumeListPath(m_crawl->saveDir());
    const QString top = server.url(u"/"_s);
    QVERIFY(WriteResumeList(listPath, { u"http://other/"_s, top + u"old.html"_s }));
    QFile list(listPath);
    QVERIFY(list.open(QIODevice::ReadOnly));
    const QByteArray bytes = list.readAll();
    list.close();
    m_crawl->host.answers = { false };
    QCOMPARE(m_crawl->start(top).kind, CrawlOutcome::Declined);
    QCOMPARE(m_crawl->host.questions,
        QStringList { u"127.0.0.1:"_s + QString::number(server.port())
            + u" のドメイン名は再開リストに存在しますが上書きしますか？"_s });
    QVERIFY(list.open(QIODevice::ReadOnly));
    QCOMPARE(list.readAll(), bytes);
    QCOMPARE(server.requests().size(), 0);
}

void TestCrawlScripted::aTopPageThatCannotBeHadFailsWithItsReason_data()
{
    QTest::addColumn<QString>("top"); // empty: the server's own top page
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("reason");
    QTest::newRow("nothing listens")
        << u"http://127.0.0.1:1/index.html"_s << QByteArray()
        << u"接続エラーが起きました。エラー：7\nサーバに接続できません。接続を拒否されたか、サーバが動いていません。"_s;
    QTest::newRow("404") << QString() << ScriptedHttpServer::response(404, "Not Found")
                         << u"Webサーバがエラーを返しました。HTTP/1.1 404 Not Found"_s;
    QTest::newRow("500 to the probe and the fetch") << QString() << ScriptedHttpServer::response(500, "Oops")
                                                    << u"Webサーバがエラーを返しました。HTTP/1.1 500 Oops"_s;
}

void TestCrawlScripted::aTopPageThatCannotBeHadFailsWithItsReason()
{
    QFETCH(QString, top);
    QFETCH(QByteArray, answer);
    QFETCH(QString, reason);
    if (top.isEmpty()) {
        m_server->route("/", Reply { answer });
        top = m_server->url(u"/"_s);
    }
    m_crawl->settings().save(SettingsKeys::ListViewCheck, 1);
    bool listShown = false;
    m_crawl->context->listDisplay = [&listShown] { listShown = true; };
    const CrawlOutcome outcome = m_crawl->start(top);
    QCOMPARE(outcome.kind, CrawlOutcome::Failed);
    QCOMPARE(outcome.reason, u"トップページを取得できませんでした。\n"_s + top + u'\n' + reason);
    QCOMPARE(m_crawl->host.messages, QStringList { outcome.reason });
    QCOMPARE(m_crawl->host.currentAddresses.last(), u"トップページを取得できませんでした。"_s);
    QVERIFY(!listShown);
}

void TestCrawlScripted::linkAnswers_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("errorStatus"); // the error-response entry, if any
    QTest::addColumn<QString>("transferError"); // the failure entries' detail, under the link's own address
    QTest::addColumn<QByteArray>("saved"); // the file's content; null when no file is left
    QTest::newRow("403 is an error response")
        << ScriptedHttpServer::response(403, "Forbidden") << u"HTTP/1.1 403 Forbidden"_s << QString() << QByteArray();
    QTest::newRow("an error whose reason holds 200 is an error response")
        << ScriptedHttpServer::response(500, "Internal Error (id 2003)") << u"HTTP/1.1 500 Internal Error (id 2003)"_s
        << QString() << QByteArray();
    QTest::newRow("410 gone since 2009 is an error response")
        << ScriptedHttpServer::response(410, "Gone since 2009") << u"HTTP/1.1 410 Gone since 2009"_s << QString()
        << QByteArray();
    QTest::newRow("a redirect loop ends as an error response")
        << ScriptedHttpServer::response(302, "Found", { { "Location", "/x.gif" } }) << u"HTTP/1.1 302 Found"_s
        << QString() << QByteArray();
    QTest::newRow("206 is accepted") << ScriptedHttpServer::response(
        206, "Partial Content", { { "Content-Type", "image/gif" } }, "xyz")
                                     << QString() << QString() << "xyz"_ba;
    QTest::newRow("an answer without a status line is a transfer error of its own address")
        << "garbage\r\n\r\n"_ba << QString() << u"サーバの応答がHTTPの応答ではありません。"_s << QByteArray();
    QTest::newRow("a connection closed without an answer is a transfer error of its own address")
        << QByteArray() << QString() << u"サーバが何も返さずに接続を閉じました。"_s << QByteArray();
    QTest::newRow("headers over 300 KB are a transfer error, told in Japanese")
        << ScriptedHttpServer::response(200, "OK", Headers(400, { "X-Pad", QByteArray(1000, 'a') })) << QString()
        << u"応答のヘッダが大きすぎます。"_s << QByteArray();
    QTest::newRow("a redirect to a scheme not spoken is a transfer error, told in Japanese")
        << ScriptedHttpServer::response(302, "Found", { { "Location", "ftp://127.0.0.1/x.gif" } }) << QString()
        << u"対応していないプロトコルです。"_s << QByteArray();
    QTest::newRow("a binary body without a content type is saved as it is")
        << ScriptedHttpServer::response(200, "OK", {}, binary(300, 0)) << QString() << QString() << binary(300, 0);
}

void TestCrawlScripted::linkAnswers()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, errorStatus);
    QFETCH(QString, transferError);
    QFETCH(QByteArray, saved);
    ScriptedHttpServer& server = *m_server;
    server.route("/", page("<a href=\"x.gif\">x</a>"));
    server.route("/x.gif", answer.isEmpty() ? ScriptedHttpServer::nothingThenClose() : Reply { answer });
    const QString address = server.url(u"/x.gif"_s);
    m_crawl->start(server.url(u"/"_s));
    const QList<QStringList> errors = recordsOf(m_crawl->logLines(ErrorResponseLogName));
    if (errorStatus.isEmpty()) {
        QVERIFY2(errors.isEmpty(), qPrintable(errors.value(0).join(u'|')));
    } else {
        QVERIFY(!errors.isEmpty());
        QCOMPARE(errors[0],
            (QStringList { u"Webサーバ レスポンスエラー"_s, u"Webサーバがエラーを返しました。"_s + errorStatus, address,
                server.url(u"/"_s) }));
    }
    const QList<QStringList> failures = recordsOf(m_crawl->logLines(FailureReportName));
    QCOMPARE(failures.isEmpty(), transferError.isEmpty());
    for (const QStringList& failure : failures) {
        QVERIFY(failure[0].startsWith(u"接続エラーが起きました。エラー："_s));
        QCOMPARE(failure[1], transferError);
        QCOMPARE(failure[2], address);
    }
    QCOMPARE(m_crawl->mirroredFiles().contains(u"x.gif"_s), !saved.isNull());
    QCOMPARE(m_crawl->mirroredFiles().value(u"x.gif"_s), saved);
}

void TestCrawlScripted::aProbesTransferErrorIsReportedUnderItsAddress()
{
    ScriptedHttpServer& server = *m_server;
    const QString refused = u"http://127.0.0.1:1/x.gif"_s;
    server.route("/", page("<a href=\"" + refused.toLatin1() + "\">x</a><a href=\"b.gif\">b</a>"));
    server.route("/b.gif", file("b"));
    m_crawl->settings().save(SettingsKeys::SearchType, 3);
    m_crawl->start(server.url(u"/"_s));
    const QList<QStringList> failures = recordsOf(m_crawl->logLines(FailureReportName));
    QCOMPARE(failures.size(), 1); // the probe's, and the address is not queued
    QCOMPARE(m_crawl->host.counter(Counter::Failure), 1);
    for (const QStringList& failure : failures) {
        QCOMPARE(failure[0], u"接続エラーが起きました。エラー：7"_s);
        QCOMPARE(failure[2], refused);
    }
    QCOMPARE(m_crawl->mirroredFiles().value(u"b.gif"_s), "b"_ba);
}

void TestCrawlScripted::baseTagsAndFolderlessPagesResolveAsBrowsersDo()
{
    ScriptedHttpServer& server = *m_server;
    server.route("/", page("<a href=\"dir/page\">p</a><a href=\"dir/based.html\">b</a>"));
    server.route("/dir/page", page("<img src=\"x.gif\">"));
    server.route("/dir/based.html", page("<img src=\"before.gif\"><base href=\"../other\"><img src=\"y.gif\">"));
    for (const QByteArray& name : { "/dir/x.gif"_ba, "/dir/before.gif"_ba, "/other/y.gif"_ba })
        server.route(name, file(name));
    m_crawl->start(server.url(u"/"_s));
    const QMap<QString, QByteArray> expected { { u"dir/x.gif"_s, "/dir/x.gif"_ba },
        { u"dir/before.gif"_s, "/dir/before.gif"_ba }, { u"other/y.gif"_s, "/other/y.gif"_ba } };
    QCOMPARE(m_crawl->mirroredFiles(), expected);
}

void TestCrawlScripted::aFolderLinkedWithoutItsSlashIsSavedAsTheFoldersPage()
{
    ScriptedHttpServer& server = *m_server;
    const QByteArray folderPage = "<img src=\"a.gif\"><a href=\"../b.gif\">b</a>";
    server.route("/index.html", page("<a href=\"jp\">jp</a><a href=\"old.html\">old</a>"));
    server.route("/jp", { ScriptedHttpServer::response(301, "Moved Permanently", { { "Location", "/jp/" } }) });
    server.route("/jp/", page(folderPage));
    server.route("/old.html", { ScriptedHttpServer::response(302, "Found", { { "Location", "/new/here.html" } }) });
    server.route("/new/here.html", page("<img src=\"c.gif\">"));
    for (const QByteArray& name : { "/jp/a.gif"_ba, "/b.gif"_ba, "/new/c.gif"_ba })
        server.route(name, file(name));
    m_crawl->settings().save(SettingsKeys::DownloadExts, u".gif;.html"_s);
    const QString top = server.url(u"/index.html"_s);
    m_crawl->start(top);
    QCOMPARE(m_crawl->host.currentAddresses.last(), u"終了"_s);
    QMap<QString, QByteArray> expected { { u"index.html"_s, "<a href=\"jp\">jp</a><a href=\"old.html\">old</a>"_ba },
        { u"jp/jpｽﾗｯｼｭﾄｯﾌﾟ.html"_s, folderPage }, { u"jp/a.gif"_s, "/jp/a.gif"_ba }, { u"b.gif"_s, "/b.gif"_ba },
        { u"old.html"_s, "<img src=\"c.gif\">"_ba }, { u"new/c.gif"_s, "/new/c.gif"_ba } };
    QCOMPARE(m_crawl->mirroredFiles(), expected);
    const QString site = server.url(u"/"_s);
    QCOMPARE(m_crawl->logLines(DetectedLogName).mid(1, 3),
        (QStringList {
            u"\""_s + top + u"\",\"\""_s, u"\""_s + site + u"jp\",\"\""_s, u"\""_s + site + u"old.html\",\"\""_s }));
    const QList<QStringList> downloads = recordsOf(m_crawl->logLines(DownloadLogName));
    QCOMPARE(downloads[1],
        (QStringList { u"jpｽﾗｯｼｭﾄｯﾌﾟ.html"_s, ToNativeSeparators(m_crawl->siteDir() + u"/jp/jpｽﾗｯｼｭﾄｯﾌﾟ.html"_s),
            site + u"jp"_s, top }));
    QCOMPARE(m_crawl->host.counter(Counter::ErrorResponse), 0);
}

void TestCrawlScripted::nonAsciiLinksAreEncodedOnTheWireAndDecodedOnDisk()
{
    ScriptedHttpServer& server = *m_server;
    const QByteArray encoded = "/%E5%86%99%20%E7%9C%9F.gif";
    server.route("/",
        { ScriptedHttpServer::response(200, "OK", { { "Content-Type", "text/html; charset=utf-8" } },
            u"<a href=\"写&#x20;真.gif\">写真</a>"_s.toUtf8()) });
    server.route(encoded, file("photo"));
    const QString top = server.url(u"/"_s);
    m_crawl->start(top);
    QVERIFY(transcript(server).contains(u"GET "_s + QString::fromLatin1(encoded)));
    QCOMPARE(m_crawl->mirroredFiles(), (QMap<QString, QByteArray> { { u"写.真.gif"_s, "photo"_ba } }));
    QCOMPARE(recordsOf(m_crawl->logLines(DownloadLogName)).value(0).value(0), u"写.真.gif"_s);
    QCOMPARE(
        m_crawl->logLines(DetectedLogName).last(), u"\""_s + top + QString::fromLatin1(encoded.mid(1)) + u"\",\"\""_s);
}

void TestCrawlScripted::textWithoutATypeIsScannedWhateverItsCharacters()
{
    ScriptedHttpServer& server = *m_server;
    server.route("/",
        { ScriptedHttpServer::response(200, "OK", {}, u"<p>日本語の本文</p><a href=\"a.gif\">画像</a>"_s.toUtf8()) });
    server.route("/a.gif", file("a"));
    m_crawl->start(server.url(u"/"_s));
    QCOMPARE(m_crawl->mirroredFiles().value(u"a.gif"_s), "a"_ba);
    QCOMPARE(m_crawl->logLines(FailureReportName), QStringList());
}

void TestCrawlScripted::aReplacementThatCannotBeWrittenLeavesTheOldFile_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("withLength");
    QTest::addColumn<QString>("stop"); // why the crawl stops, to be resumed once mended; "" for none
    const QString full = u"保存先フォルダのディスクがいっぱいです。空きを作ってから再開して下さい。"_s;
    QTest::newRow("a full disk stops the crawl") << u"tmpfs"_s << true << full;
    QTest::newRow("a full disk stops the crawl without a length too") << u"tmpfs"_s << false << full;
    QTest::newRow("a full device stops the crawl as a full disk does") << u"/dev/full"_s << true << full;
    QTest::newRow("a full device stops the crawl without a length too") << u"/dev/full"_s << false << full;
    QTest::newRow("a temporary file removed before the commit fails alone") << u"removed"_s << true << QString();
    QTest::newRow("a site folder that takes no new file stops the crawl")
        << u"immutable"_s << true
        << u"保存先フォルダに書き込めなくなったため中断しました。書き込めるようにしてから再開して下さい。"_s;
}

void TestCrawlScripted::aReplacementThatCannotBeWrittenLeavesTheOldFile()
{
    QFETCH(QString, fault);
    QFETCH(bool, withLength);
    QFETCH(QString, stop);
    const bool stops = !stop.isEmpty();
    CrawlHarness& crawl = *m_crawl;
    const QString save = crawl.saveDir(), top = m_server->url(u"/"_s);
    const QString target = SiteDirOf(save, top) + u"/big.gif"_s, part = PartFilePath(target);
    const QByteArray saveFolder = QFile::encodeName(save), old = binary(600000, 1), body = binary(700000, 2);
    const Headers type { { "Content-Type", "image/gif" } }, chunked { { "Transfer-Encoding", "chunked" } };
    m_server->route("/", page("<a href=\"big.gif\">b</a>"));
    m_server->route("/big.gif",
        { withLength
                ? ScriptedHttpServer::response(200, "OK", type, body)
                : ScriptedHttpServer::response(200, "OK", type + chunked, ScriptedHttpServer::chunked(body, 65536)) });
    crawl.settings().save(SettingsKeys::NumberDuplicates, 0);
    if (fault == u"tmpfs"_s && mount("tmpfs", saveFolder, "tmpfs", 0, "size=1m") != 0)
        QSKIP("no tmpfs can be mounted here; the full device rows stand in for it");
    const auto unmount = qScopeGuard([&] { umount2(saveFolder, MNT_DETACH); });
    QVERIFY(WriteFileBytes(target, old));
    if (fault == u"/dev/full"_s)
        QVERIFY(QFile::link(fault, part));
    if (fault == u"removed"_s)
        crawl.host.onYield = [&] { QFile::remove(part); }; // the body is still written, to a file unlinked
    // Even root makes no new file in an immutable folder, as nobody does in a read-only one.
    const auto immutable = [site = QFile::encodeName(SiteDirOf(save, top))](bool on) {
        const int folder = open(site.constData(), O_RDONLY | O_DIRECTORY);
        int flags = 0;
        const bool set = folder >= 0 && ioctl(folder, FS_IOC_GETFLAGS, &flags) == 0
            && (flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL,
                ioctl(folder, FS_IOC_SETFLAGS, &flags) == 0);
        close(folder);
        return set;
    };
    if (fault == u"immutable"_s) {
        if (!immutable(false))
            QSKIP("the file system here keeps no immutable flag");
        crawl.host.onYield = [&] {
            if (crawl.host.currentAddresses.contains(m_server->url(u"/big.gif"_s)) && immutable(true))
                crawl.host.onYield = {};
        };
    }
    const CrawlOutcome outcome = crawl.start(top);
    QVERIFY(immutable(false) || fault != u"immutable"_s);
    QCOMPARE(outcome.kind, stops ? CrawlOutcome::Stopped : CrawlOutcome::Finished);
    QCOMPARE(crawl.host.messages, stops ? QStringList { stop + u'\n' + save } : QStringList());
    QCOMPARE(ReadFileBytes(target), old);
    // A folder that takes no file keeps its temporary file, for the resume to take again; nor does
    // it take a failure report.
    QVERIFY(fault == u"immutable"_s || !PartFileExists(target));
    const QList<QStringList> failures = recordsOf(crawl.logLines(FailureReportName));
    QCOMPARE(failures.value(0).value(0), fault == u"immutable"_s ? QString() : u"ファイルエラー"_s);
    QVERIFY(fault == u"immutable"_s || (failures.size() == 1 && failures[0][1].startsWith(target)));
    QCOMPARE(crawl.logLines(DownloadLogName), QStringList { DownloadLogHeader });
    if (!stops)
        return;
    // Room is made, and the stopped crawl resumes to the new file.
    QVERIFY(fault != u"tmpfs"_s || mount("tmpfs", saveFolder, "tmpfs", MS_REMOUNT, "size=8m") == 0);
    if (fault != u"immutable"_s)
        QFile::remove(part);
    QCOMPARE(crawl.resume().kind, CrawlOutcome::Finished);
    QCOMPARE(ReadFileBytes(target), body);
}

void TestCrawlScripted::aSiteFileNamedLikeATemporaryFileIsKept()
{
    const QByteArray name = QFileInfo(PartFilePath(u"/a.gif"_s)).fileName().toLatin1();
    m_server->route("/", page("<a href=\"" + name + "\">p</a><a href=\"a.gif\">a</a>"));
    m_server->route("/" + name, file("like a temporary file"));
    m_server->route("/a.gif", file("a"));
    m_crawl->settings().save(SettingsKeys::DownloadExts, u".gif;.part"_s);
    m_crawl->start(m_server->url(u"/"_s));
    QCOMPARE(m_crawl->mirroredFiles().value(u"．"_s + QString::fromLatin1(name.mid(1))), "like a temporary file"_ba);
}

QTEST_GUILESS_MAIN(TestCrawlScripted)
#include "tst_crawlscripted.moc"
