// Download list pages compared whole with pages built here from the rules.
#include "pages/downloadlist.h"
#include "platform/codepage.h"
#include "records/logs.h"
#include "records/recordfile.h"
#include "records/recordline.h"
#include "settings/settingskeys.h"
#include "settings/settingsstore.h"

#include "expectedpages.h"
#include "support/fixedclock.h"
#include "support/recordinghost.h"
#include "support/tempsettings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QString readPage(const QString& path)
{
    return DecodeCodePage(ReadFileBytes(path));
}

} // namespace

class TestDownloadList : public QObject {
    Q_OBJECT
private slots:
    void init();
    void pagesByCount_data();
    void pagesByCount();
    void previewsByType_data();
    void previewsByType();
    void hostileNamesCannotRunScript();
    void charactersShiftJisCannotHoldBecomeReferences();
    void brokenLinesAreSkipped();
    void listDisplayMessages_data();
    void listDisplayMessages();
    void basePathFollowsTheAddress_data();
    void basePathFollowsTheAddress();

private:
    // Writes a log of count records for files f1.dat ... and returns the expected entry lines.
    QList<QStringList> writeLog(int count);
    QString logPath() const { return m_site + u'/' + DownloadLogName; }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TempSettings> m_settings;
    RecordingHost m_host;
    FixedClock m_clock;
    AppendFiles m_logs;
    QString m_site;
};

void TestDownloadList::init()
{
    m_logs.closeAll();
    m_dir = std::make_unique<QTemporaryDir>();
    m_settings = std::make_unique<TempSettings>();
    m_host = RecordingHost();
    m_site = m_dir->path() + u"/h"_s;
    QVERIFY(QDir().mkpath(m_site));
    QVERIFY(StartLog(m_logs, m_site, DownloadLogName, DownloadLogHeader));
}

QList<QStringList> TestDownloadList::writeLog(int count)
{
    QList<QStringList> entries;
    for (int i = 1; i <= count; ++i) {
        const QString name = u"f%1.dat"_s.arg(i);
        const QString path = m_site + u"/d/"_s + name;
        const QString address = u"http://h/d/"_s + name;
        if (!WriteDownloadLogLine(m_logs, m_site, m_clock, name, path, { u"http://h/"_s, address }))
            QTest::qFail("the log line cannot be written", __FILE__, __LINE__);
        entries.append({ u"<hr>NO."_s + QString::number(i), u"<br>"_s, u"<table border=\"1\" align=\"center\">"_s,
            u"<tr><td>"_s, u"ファイル名"_s, u"</td><td>"_s, name + u"</td></tr>"_s, u"<tr><td>"_s, u"取得元アドレス"_s,
            u"</td><td>"_s, u"<a href=\""_s + address + u"\">"_s, address + u"</a></td></tr>"_s, u"<tr><td>"_s,
            u"ダウンロ\uFF0Dド先"_s, u"</td><td>"_s, u"<a href=\""_s + path + u"\">"_s, path + u"</a></td></tr>"_s,
            u"</table><br>"_s });
    }
    return entries;
}

void TestDownloadList::pagesByCount_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("perPage");
    QTest::addColumn<int>("pagesWritten");
    QTest::newRow("an empty log writes one page without index or navigation") << 0 << 3 << 1;
    QTest::newRow("a full single page is followed by an empty page nothing links to") << 3 << 3 << 2;
    QTest::newRow("one entry more than a page gives two pages") << 4 << 3 << 2;
    QTest::newRow("two full pages are followed by an empty third") << 6 << 3 << 3;
}

void TestDownloadList::pagesByCount()
{
    QFETCH(int, count);
    QFETCH(int, perPage);
    QFETCH(int, pagesWritten);
    const QList<QStringList> entries = writeLog(count);
    m_settings->store().save(SettingsKeys::ListViewSize, perPage);
    const QString address = u"http://h/a/"_s;
    QVERIFY(MakeDownloadList(m_settings->store(), m_host, logPath(), address, m_site));

    expected::Frame frame;
    frame.base = m_site + u"/a__プレビュー"_s;
    frame.pages = (count + perPage - 1) / perPage;
    frame.subject = address;
    frame.kind = u"からダウンロードしたファイル"_s;
    frame.mark = u"download list"_s;
    for (int n = 1; n <= pagesWritten; ++n) {
        QStringList lines;
        for (int i = (n - 1) * perPage; i < qMin(count, n * perPage); ++i)
            lines += entries[i];
        const QString path = frame.base + QString::number(n) + u".html"_s;
        QCOMPARE(readPage(path), expected::page(frame, n, n == pagesWritten, lines));
    }
    QVERIFY(!QFile::exists(frame.base + QString::number(pagesWritten + 1) + u".html"_s));
    QCOMPARE(m_host.openedDocuments, QStringList { frame.base + u"1.html"_s });
    const QByteArray bytes = ReadFileBytes(frame.base + u"1.html"_s);
    QVERIFY(bytes.startsWith("\r\n<html><meta"));
    QVERIFY(bytes.contains("\x83\x79\x81\x5b\x83\x57")); // "ページ" in Shift_JIS
}

void TestDownloadList::previewsByType_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("preview");
    QTest::newRow("an image gets one centred image line")
        << u"p.JPEG"_s << QStringList { u"<center><img src=\"%1p.JPEG\"></center><br><br>"_s };
    QTest::newRow("a page gets a sandboxed frame")
        << u"p.html"_s
        << QStringList {
               u"<div align=\"center\">"_s,
               u"<iframe sandbox src=\"%1p.html\" width=\"90%\" height=\"300\" align=\"center\" frameborder=\"yes\"></iframe></div>"_s
           };
    QTest::newRow("a pdf gets a frame")
        << u"p.pdf"_s
        << QStringList {
               u"<div align=\"center\">"_s,
               u"<iframe sandbox src=\"%1p.pdf\" width=\"90%\" height=\"300\" align=\"center\" frameborder=\"yes\"></iframe></div>"_s
           };
    QTest::newRow("anything else has no preview") << u"p.zip"_s << QStringList {};
}

void TestDownloadList::previewsByType()
{
    QFETCH(QString, name);
    QFETCH(QStringList, preview);
    const QString path = m_site + u'/' + name;
    QVERIFY(WriteDownloadLogLine(m_logs, m_site, m_clock, name, path, { u"http://h/x"_s }));
    QVERIFY(MakeDownloadList(m_settings->store(), m_host, logPath(), u"http://h/"_s, m_site));
    const QStringList lines = readPage(m_site + u"/_プレビュー1.html"_s).split(u"\r\n"_s);
    const qsizetype at = lines.indexOf(u"<hr>NO.1"_s);
    QVERIFY(at > 0);
    QStringList expectedLines;
    for (const QString& line : preview)
        expectedLines.append(line.arg(m_site + u'/'));
    QCOMPARE(lines.mid(at + 1, expectedLines.size()), expectedLines);
    QCOMPARE(lines.value(at + 1 + expectedLines.size()), u"<br>"_s);
}

void TestDownloadList::hostileNamesCannotRunScript()
{
    const QString name = u"<script>alert(1)</script>\"'.gif"_s;
    const QString path = m_site + u"/a#b?c%d.gif"_s;
    QVERIFY(WriteDownloadLogLine(m_logs, m_site, m_clock, name, path, { u"http://h/x\"><script>x</script>"_s }));
    QVERIFY(MakeDownloadList(m_settings->store(), m_host, logPath(), u"http://h/<b>"_s, m_site));
    const QString page = readPage(m_host.openedDocuments.value(0));
    QVERIFY(!page.contains(u"<script>"_s));
    QVERIFY(page.contains(u"&lt;script&gt;alert(1)&lt;/script&gt;&quot;&#39;.gif"_s));
    QVERIFY(page.contains(u"<img src=\""_s + m_site + u"/a%23b%3Fc%25d.gif\">"_s));
    QVERIFY(page.contains(u"<title>http://h/&lt;b&gt;からダウンロードしたファイル1</title>"_s));
}

void TestDownloadList::charactersShiftJisCannotHoldBecomeReferences()
{
    QVERIFY(
        WriteDownloadLogLine(m_logs, m_site, m_clock, u"写真😀한.gif"_s, m_site + u"/x.gif"_s, { u"http://h/x.gif"_s }));
    QVERIFY(MakeDownloadList(m_settings->store(), m_host, logPath(), u"http://h/"_s, m_site));
    const QByteArray bytes = ReadFileBytes(m_host.openedDocuments.value(0));
    QVERIFY(bytes.contains("\x8e\xca\x90\x5e&#128512;&#54620;.gif</td></tr>"));
}

void TestDownloadList::brokenLinesAreSkipped()
{
    writeLog(1);
    QVERIFY(AppendRecordLines(logPath(), { QString(), u"\"only\",\"two\""_s }));
    writeLog(1);
    QVERIFY(MakeDownloadList(m_settings->store(), m_host, logPath(), u"http://h/"_s, m_site));
    const QString page = readPage(m_site + u"/_プレビュー1.html"_s);
    QCOMPARE(page.count(u"<hr>NO."_s), 2);
    QVERIFY(!page.contains(u"only"_s));
}

void TestDownloadList::listDisplayMessages_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("saveFolderExists");
    QTest::addColumn<bool>("logExists");
    QTest::addColumn<QString>("messageStart");
    QTest::newRow("no address") << QString() << true << true << u"ダウンロードしたアドレスがありません。"_s;
    QTest::newRow("no save folder") << u"http://h/"_s << false << true << u"%1/gone/ "_s;
    QTest::newRow("no log") << u"http://h/"_s << true << false << u"ダウンロードしたファイルがないか\n"_s;
    QTest::newRow("everything there") << u"http://h/"_s << true << true << QString();
}

void TestDownloadList::listDisplayMessages()
{
    QFETCH(QString, address);
    QFETCH(bool, saveFolderExists);
    QFETCH(bool, logExists);
    QFETCH(QString, messageStart);
    SettingsStore& settings = m_settings->store();
    settings.save(SettingsKeys::SiteAddress, address);
    settings.save(SettingsKeys::SaveFolder, m_dir->path() + (saveFolderExists ? u"/"_s : u"/gone/"_s));
    if (!logExists)
        QFile::remove(logPath());
    const bool shown = IEView_Click(settings, m_host).kind == CrawlOutcome::Finished;
    QCOMPARE(shown, messageStart.isEmpty());
    if (messageStart.isEmpty()) {
        QCOMPARE(m_host.messages, QStringList());
        QCOMPARE(m_host.openedDocuments, QStringList { m_site + u"/_プレビュー1.html"_s });
    } else {
        QCOMPARE(m_host.messages.size(), 1);
        QVERIFY2(m_host.messages[0].startsWith(messageStart.arg(m_dir->path())), qPrintable(m_host.messages[0]));
        QCOMPARE(m_host.openedDocuments, QStringList());
    }
}

void TestDownloadList::basePathFollowsTheAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("base");
    QTest::newRow("parts after the host each end in an underscore") << u"http://h/a/b/"_s << u"a_b__プレビュー"_s;
    QTest::newRow("an address ending after the host") << u"http://h/"_s << u"_プレビュー"_s;
    QTest::newRow("an address without a slash after the host") << u"http://h"_s << u"プレビュー"_s;
    QTest::newRow("characters a file name cannot hold become dots") << u"http://h/x?y=1"_s << u"x.y.1_プレビュー"_s;
}

void TestDownloadList::basePathFollowsTheAddress()
{
    QFETCH(QString, address);
    QFETCH(QString, base);
    QCOMPARE(DownloadListBasePath(address, u"/s"_s), u"/s/"_s + base);
}

QTEST_GUILESS_MAIN(TestDownloadList)
#include "tst_downloadlist.moc"
