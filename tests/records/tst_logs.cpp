#include "records/logs.h"
#include "records/recordfile.h"

#include "support/fixedclock.h"
#include "support/tempsettings.h"

#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestLogs : public QObject {
    Q_OBJECT
private slots:
    void init();
    void firstFailureCreatesTheReportWithItsHeader();
    void anEmptyErrorLogGetsItsHeaderFirst();
    void downloadLineListsTheChainBackwards_data();
    void downloadLineListsTheChainBackwards();
    void detectedAddressesReadBackInOrder();
    void aLogThatCannotBeWrittenIsReported();
    void theSystemClockStampsLocalTime();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    FixedClock m_clock;
    AppendFiles m_logs;
};

void TestLogs::init()
{
    m_logs.closeAll();
    m_dir = std::make_unique<QTemporaryDir>();
    m_clock = FixedClock();
}

void TestLogs::firstFailureCreatesTheReportWithItsHeader()
{
    const QString site = m_dir->path();
    QVERIFY(WriteFailureReport(m_logs, site, m_clock, u"ダウンロード エラー"_s,
        u"ファイルのダウンロードに失敗しました。"_s, u"http://h/a.gif"_s, FailureReportName));
    m_clock.set(QDateTime(QDate(2026, 1, 2), QTime(13, 4, 5)));
    QVERIFY(WriteFailureReport(
        m_logs, site, m_clock, u"s"_s, u"d, with a comma"_s, u"http://h/b.gif"_s, FailureReportName));
    QCOMPARE(ReadRecordLines(site + u"/障害報告.csv"_s).value(),
        (QStringList { u"日時,適用,詳細,アドレス"_s,
            u"\"2026/12/07 9:05:03\",\"ダウンロード エラー\",\"ファイルのダウンロードに失敗しました。\",\"http://h/a.gif\""_s,
            u"\"2026/01/02 13:04:05\",\"s\",\"d, with a comma\",\"http://h/b.gif\""_s }));
}

void TestLogs::anEmptyErrorLogGetsItsHeaderFirst()
{
    const QString site = m_dir->path();
    QVERIFY(WriteFileBytes(site + u"/エラーレスポンス.csv"_s, QByteArray()));
    QVERIFY(WriteErrorResponse(m_logs, site, m_clock, u"Webサーバ レスポンスエラー"_s,
        u"Webサーバがエラーを返しました。HTTP/1.1 404 Not Found"_s, u"http://h/x"_s, ErrorResponseLogName,
        u"http://h/"_s));
    QCOMPARE(ReadRecordLines(site + u"/エラーレスポンス.csv"_s).value(),
        (QStringList { u"日時,適用,詳細,リンク先アドレス,リンク元アドレス"_s,
            u"\"2026/12/07 9:05:03\",\"Webサーバ レスポンスエラー\",\"Webサーバがエラーを返しました。HTTP/1.1 404 Not Found\",\"http://h/x\",\"http://h/\""_s }));
}

void TestLogs::downloadLineListsTheChainBackwards_data()
{
    QTest::addColumn<QStringList>("chain");
    QTest::addColumn<QString>("expectedTail");
    QTest::newRow("the start address itself has four fields")
        << QStringList { u"http://h/a.gif"_s } << u"\"http://h/a.gif\""_s;
    QTest::newRow("a file found at depth one lists its page and the start") << QStringList { u"http://h/"_s,
        u"http://h/p.html"_s, u"http://h/a.gif"_s } << u"\"http://h/a.gif\",\"http://h/p.html\",\"http://h/\""_s;
    QTest::newRow("empty elements are left out")
        << QStringList { u"http://h/"_s, QString(), u"http://h/a.gif"_s } << u"\"http://h/a.gif\",\"http://h/\""_s;
}

void TestLogs::downloadLineListsTheChainBackwards()
{
    QFETCH(QStringList, chain);
    QFETCH(QString, expectedTail);
    const QString site = m_dir->path();
    QVERIFY(StartLog(m_logs, site, DownloadLogName, DownloadLogHeader));
    QVERIFY(WriteDownloadLogLine(m_logs, site, m_clock, u"a.gif"_s, site + u"/sub/a.gif"_s, chain));
    const QStringList lines = ReadRecordLines(site + u"/ダウンロードファイルログ.csv"_s).value();
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0], DownloadLogHeader);
    QCOMPARE(lines[1],
        u"\"2026/12/07 9:05:03\",\"a.gif\",\""_s + ToNativeSeparators(site + u"/sub/a.gif"_s) + u"\","_s
            + expectedTail);
}

void TestLogs::detectedAddressesReadBackInOrder()
{
    const QString site = m_dir->path();
    QVERIFY(StartLog(m_logs, site, DetectedLogName, DetectedLogHeader));
    QCOMPARE(ReadDetectedAddresses(site), QStringList());
    QVERIFY(WriteDetectedAddress(m_logs, site, u"http://h/b"_s));
    QVERIFY(AppendRecordLines(site + u"/検出アドレス.csv"_s, { QString() }));
    QVERIFY(WriteDetectedAddress(m_logs, site, u"http://h/a\",\"x"_s));
    QCOMPARE(ReadRecordLines(site + u"/検出アドレス.csv"_s)->at(1), u"\"http://h/b\",\"\""_s);
    QCOMPARE(ReadDetectedAddresses(site), (QStringList { u"http://h/b"_s, u"http://h/a\",\"x"_s }));
}

void TestLogs::aLogThatCannotBeWrittenIsReported()
{
    const QString full = u"/dev/full"_s;
    if (!QFile::exists(full))
        QSKIP("this system has no full device");
    // Appending to a full disk must say so rather than lose the line silently.
    const IoStatus status = AppendRecordLines(full, { u"\"x\""_s });
    QVERIFY(!status.ok);
    QVERIFY(status.error.startsWith(full));
    QVERIFY(WriteFileBytes(m_dir->filePath(u"plain"_s), "x"));
    QVERIFY(!WriteFailureReport(m_logs, m_dir->filePath(u"plain"_s), m_clock, u"s"_s, u"d"_s, u"a"_s, FailureReportName)
                 .ok);
    QVERIFY(!WriteDetectedAddress(m_logs, m_dir->filePath(u"plain"_s), u"http://h/"_s).ok);
}

void TestLogs::theSystemClockStampsLocalTime()
{
    // Half an hour off a whole hour, a zone glibc reads without zone files (Windows ignores it).
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "XST+3:30");
    const auto restore = qScopeGuard([&zone] { zone.isNull() ? qunsetenv("TZ") : qputenv("TZ", zone); });
    const QDateTime before = QDateTime::currentDateTime();
    const QDateTime stamped = SystemClock().now();
    QCOMPARE(stamped.offsetFromUtc(), before.offsetFromUtc());
#ifdef Q_OS_UNIX
    QCOMPARE(stamped.offsetFromUtc(), -(3 * 3600 + 30 * 60));
#endif
    QVERIFY(before <= stamped && stamped <= QDateTime::currentDateTime());
}

QTEST_GUILESS_MAIN(TestLogs)
#include "tst_logs.moc"
