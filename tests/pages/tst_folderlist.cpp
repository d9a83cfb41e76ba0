// Directory and image list pages of real folders, compared whole with pages built here from the
// rules.
#include "pages/folderlist.h"
#include "platform/codepage.h"
#include "settings/settingskeys.h"
#include "settings/settingsstore.h"

#include "expectedpages.h"
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

QStringList tableLines(const QString& path, const QString& name)
{
    return { u"<table border=\"1\" align=\"center\">"_s, u"<tr><td>"_s, u"ファイル名"_s, u"</td><td>"_s,
        name + u"</td></tr>"_s, u"<tr><td>"_s, u"フルパス"_s, u"</td><td><a href=\""_s + path + u"\">"_s,
        path + u"</a></td></tr>"_s, u"</table><br>"_s };
}

} // namespace

class TestFolderList : public QObject {
    Q_OBJECT
private slots:
    void init();
    void directoryPagesByCount_data();
    void directoryPagesByCount();
    void directoryPreviewsByType_data();
    void directoryPreviewsByType();
    void subfoldersFollowInNameOrderAndOldPagesAreLeftOut();
    void thumbnailRowsOfSeven();
    void fiftyOneThumbnailsOverTwoPages();
    void singleLayoutPages_data();
    void singleLayoutPages();
    void aMissingFolderWritesNoPage();
    void aListReplacesOnlyItsOwnPages_data();
    void aListReplacesOnlyItsOwnPages();

private:
    QString addFile(const QString& relative);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TempSettings> m_settings;
    RecordingHost m_host;
    QString m_folder;
};

void TestFolderList::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_settings = std::make_unique<TempSettings>();
    m_host = RecordingHost();
    m_folder = m_dir->path() + u"/pics"_s;
    QVERIFY(QDir().mkpath(m_folder));
}

QString TestFolderList::addFile(const QString& relative)
{
    const QString path = m_folder + u'/' + relative;
    WriteFileBytes(path, "x");
    return path;
}

void TestFolderList::directoryPagesByCount_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("perPage");
    QTest::addColumn<int>("pages");
    QTest::newRow("an empty folder gives one page with no entries") << 0 << 2 << 1;
    QTest::newRow("a full page is the only page") << 2 << 2 << 1;
    QTest::newRow("two full pages and one entry give three pages") << 5 << 2 << 3;
}

void TestFolderList::directoryPagesByCount()
{
    QFETCH(int, count);
    QFETCH(int, perPage);
    QFETCH(int, pages);
    QStringList paths;
    for (int i = 0; i < count; ++i)
        paths.append(addFile(u"f%1.zip"_s.arg(i)));
    addFile(u"skipped.txt"_s);
    SettingsStore& settings = m_settings->store();
    settings.save(SettingsKeys::MakeListFileCount, perPage);
    settings.save(SettingsKeys::MakeListExts, u".ZIP"_s);
    QVERIFY(MakeDirList(settings, m_host, m_folder + u'/'));

    expected::Frame frame;
    frame.base = m_folder + u"/プレビュー"_s;
    frame.pages = (count + perPage - 1) / perPage;
    frame.subject = m_folder;
    frame.kind = u"　内のファイル"_s;
    frame.mark = u"folder list"_s;
    frame.summary = { u"検索拡張子 .zip<br>"_s, QString::number(count) + u"個のファイルがありました"_s, u"<hr>"_s };
    frame.ruleOnIndexLine = false;
    for (int n = 1; n <= pages; ++n) {
        QStringList lines;
        for (int i = (n - 1) * perPage; i < qMin(count, n * perPage); ++i)
            lines << u"<hr>NO."_s + QString::number(i + 1) << tableLines(paths[i], u"f%1.zip"_s.arg(i));
        QCOMPARE(readPage(frame.base + QString::number(n) + u".html"_s), expected::page(frame, n, n == pages, lines));
    }
    QVERIFY(!QFile::exists(frame.base + QString::number(pages + 1) + u".html"_s));
    QCOMPARE(m_host.openedDocuments, QStringList { frame.base + u"1.html"_s });
}

void TestFolderList::directoryPreviewsByType_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("movies");
    QTest::addColumn<bool>("flash");
    QTest::addColumn<QStringList>("preview");
    QTest::newRow("an image") << u"a.png"_s << false << false << QStringList { u"<center><img src=\"%1\"></center>"_s };
    QTest::newRow("a movie with movies on")
        << u"a.mpg"_s << true << false << QStringList { u"<center><embed src=\"%1\" autostart=\"0\"></center>"_s };
    QTest::newRow("a movie with movies off") << u"a.mpg"_s << false << false << QStringList {};
    QTest::newRow("a flash movie with the switch on")
        << u"a.swf"_s << false << true
        << QStringList { u"<center><object classid=\"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000\">"_s,
               u"<param name=\"movie\" value=\"%1\">"_s, u"<embed src=\"%1\" autostart=\"0\">"_s,
               u"<noembed> Shockwave Flashプラグインを入れてください。</noembed></center></object>"_s };
    QTest::newRow("a flash movie with the switch off") << u"a.swf"_s << false << false << QStringList {};
    QTest::newRow("a director movie")
        << u"a.dcr"_s << false << true
        << QStringList { u"<center><object classid=\"clsid:166B1BCA-3F9C-11CF-8075-444553540000\">"_s,
               u"<param name=\"src\" value=\"%1\">"_s, u"<embed src=\"%1\" autostart=\"0\">"_s,
               u"<noembed> Directorプラグインを入れてください。</noembed></center></object>"_s };
    QTest::newRow("a document")
        << u"a.doc"_s << false << false
        << QStringList {
               u"<div align=\"center\">"_s,
               u"<iframe sandbox src=\"%1\" width=\"90%\" height=\"300\" align=\"center\" frameborder=\"yes\"></iframe></div>"_s
           };
}

void TestFolderList::directoryPreviewsByType()
{
    QFETCH(QString, name);
    QFETCH(bool, movies);
    QFETCH(bool, flash);
    QFETCH(QStringList, preview);
    const QString path = addFile(name);
    SettingsStore& settings = m_settings->store();
    settings.save(SettingsKeys::MakeListExts, u".jpg;"_s); // the trailing ";" takes every file
    settings.save(SettingsKeys::MakeAviMovCheck, movies ? 1 : 0);
    settings.save(SettingsKeys::MakeSwfDcrCheck, flash ? 1 : 0);
    QVERIFY(MakeDirList(settings, m_host, m_folder));
    const QStringList lines = readPage(m_folder + u"/プレビュー1.html"_s).split(u"\r\n"_s);
    const qsizetype at = lines.indexOf(u"<hr>NO.1"_s);
    QVERIFY(at > 0);
    QStringList expectedLines;
    for (const QString& line : preview)
        expectedLines.append(line.contains(u"%1"_s) ? line.arg(path) : line);
    QCOMPARE(lines.mid(at + 1, expectedLines.size()), expectedLines);
    QCOMPARE(lines.value(at + 1 + expectedLines.size()), u"<table border=\"1\" align=\"center\">"_s);
}

void TestFolderList::subfoldersFollowInNameOrderAndOldPagesAreLeftOut()
{
    addFile(u"b.html"_s);
    addFile(u"a/z.html"_s);
    addFile(u"a/y/x.html"_s);
    addFile(u"c/w.html"_s);
    SettingsStore& settings = m_settings->store();
    settings.save(SettingsKeys::MakeListExts, u".html"_s);
    QVERIFY(MakeDirList(settings, m_host, m_folder));
    QVERIFY(MakeDirList(settings, m_host, m_folder)); // the second run must not list the first run's page
    const QString page = readPage(m_folder + u"/プレビュー1.html"_s);
    QVERIFY(page.contains(u"4個のファイルがありました"_s));
    const QStringList order { m_folder + u"/b.html"_s, m_folder + u"/a/z.html"_s, m_folder + u"/a/y/x.html"_s,
        m_folder + u"/c/w.html"_s };
    qsizetype last = -1;
    for (const QString& path : order) {
        const qsizetype at = page.indexOf(u"<a href=\""_s + path);
        QVERIFY2(at > last, qPrintable(path));
        last = at;
    }
}

void TestFolderList::thumbnailRowsOfSeven()
{
    QStringList paths;
    for (int i = 1; i <= 7; ++i)
        paths.append(addFile(u"i%1.gif"_s.arg(i)));
    QVERIFY(MakeGraphList(m_settings->store(), m_host, m_folder));
    expected::Frame frame;
    frame.base = m_folder + u"/プレビュー"_s;
    frame.pages = 1;
    frame.subject = m_folder;
    frame.kind = u"　内の画像ファイル"_s;
    frame.mark = u"image list"_s;
    frame.summary = { u"検索拡張子 .gif;.png;.jpg;.jpeg;.bmp<br>"_s, u"7個のファイルがありました<hr>"_s };
    frame.afterNavigation = { u"<hr>"_s, u"<table width=\"80%\" align=\"center\" border=\"1\"><tr>"_s };
    frame.beforeClosing = { u"</table>"_s };
    QStringList rows;
    for (int start = 0; start < 7; start += 5) {
        const int count = qMin(5, 7 - start);
        rows << u"<tr>"_s;
        for (int k = start; k < start + count; ++k)
            rows << u"<td>"_s << u"NO."_s + QString::number(k + 1) << u"</td>"_s;
        rows << u"</tr><tr>"_s;
        for (int k = start; k < start + count; ++k)
            rows << u"<td>"_s
                 << u"<center><a href=\"%1\"><img src=\"%1\" width=\"48\" height=\"48\"></a></center>"_s.arg(paths[k])
                 << u"</td>"_s;
        rows << u"</tr><tr>"_s;
        for (int k = start; k < start + count; ++k)
            rows << u"<td>"_s << u"<center><a href=\"%1\">i%2.gif</a></center>"_s.arg(paths[k]).arg(k + 1)
                 << u"</td>"_s;
        rows << u"</tr>"_s;
    }
    QCOMPARE(readPage(frame.base + u"1.html"_s), expected::page(frame, 1, true, rows));
}

void TestFolderList::fiftyOneThumbnailsOverTwoPages()
{
    for (int i = 1; i <= 51; ++i)
        addFile(u"i%1.png"_s.arg(i, 2, 10, QChar(u'0')));
    QVERIFY(MakeGraphList(m_settings->store(), m_host, m_folder));
    const QString first = readPage(m_folder + u"/プレビュー1.html"_s);
    const QString second = readPage(m_folder + u"/プレビュー2.html"_s);
    QCOMPARE(first.count(u"</tr><tr>"_s), 2 * 10); // ten rows of three lines each
    QVERIFY(first.contains(u"次へ</a>"_s));
    QCOMPARE(second.count(u"<td>"_s), 3);
    QVERIFY(second.contains(u"NO.51"_s));
    QVERIFY(!second.contains(u"次へ"_s));
    QVERIFY(!QFile::exists(m_folder + u"/プレビュー3.html"_s));
}

void TestFolderList::singleLayoutPages_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("pages");
    QTest::newRow("twenty images give one page") << 20 << 1;
    QTest::newRow("twenty-one images give two pages") << 21 << 2;
}

void TestFolderList::singleLayoutPages()
{
    QFETCH(int, count);
    QFETCH(int, pages);
    for (int i = 1; i <= count; ++i)
        addFile(u"i%1.jpg"_s.arg(i, 2, 10, QChar(u'0')));
    m_settings->store().save(SettingsKeys::MakeGraphMinCheck, 0);
    QVERIFY(MakeGraphList(m_settings->store(), m_host, m_folder));
    const QString last = readPage(m_folder + u"/プレビュー"_s + QString::number(pages) + u".html"_s);
    QVERIFY(last.contains(u"<hr>NO."_s + QString::number(count) + u"\r\n<center><img src=\""_s));
    QCOMPARE(last.contains(u"<table width=\"80%\" align=\"center\"><tr>"_s), pages > 1);
    QVERIFY(!QFile::exists(m_folder + u"/プレビュー"_s + QString::number(pages + 1) + u".html"_s));
}

void TestFolderList::aMissingFolderWritesNoPage()
{
    const IoStatus status = MakeDirList(m_settings->store(), m_host, m_dir->path() + u"/none"_s);
    QVERIFY(!status.ok);
    QVERIFY(!MakeGraphList(m_settings->store(), m_host, QString()).ok);
    QCOMPARE(m_host.openedDocuments, QStringList());
}

void TestFolderList::aListReplacesOnlyItsOwnPages_data()
{
    QTest::addColumn<QString>("before"); // what holds the name of page 1: a user's file, or a list
    QTest::addColumn<bool>("images"); // the list now written is the image list, else the folder list
    QTest::addColumn<bool>("agreed"); // the answer to the question, when one is asked
    QTest::addColumn<bool>("asked");
    QTest::newRow("a user's own file is kept when the user says no") << u"user"_s << false << false << true;
    QTest::newRow("a user's own file is replaced when the user agrees") << u"user"_s << true << true << true;
    QTest::newRow("the image list asks before it replaces the folder list's page")
        << u"folder list"_s << true << false << true;
    QTest::newRow("a list replaces its own page without asking") << u"image list"_s << true << false << false;
}

void TestFolderList::aListReplacesOnlyItsOwnPages()
{
    QFETCH(QString, before);
    QFETCH(bool, images);
    QFETCH(bool, agreed);
    QFETCH(bool, asked);
    const QString page = m_folder + u"/旅行1.html"_s;
    SettingsStore& settings = m_settings->store();
    settings.save(SettingsKeys::MakeListFileName, u"旅行"_s);
    settings.save(SettingsKeys::MakeGraphListFileName, u"旅行"_s);
    addFile(u"a.gif"_s);
    if (before == u"user"_s)
        QVERIFY(WriteFileBytes(page, "<p>my trip</p>"));
    else
        QVERIFY(before == u"image list"_s ? MakeGraphList(settings, m_host, m_folder)
                                          : MakeDirList(settings, m_host, m_folder));
    const QByteArray old = ReadFileBytes(page);
    m_host = RecordingHost();
    m_host.answers = { agreed };
    const IoStatus written
        = images ? MakeGraphList(settings, m_host, m_folder) : MakeDirList(settings, m_host, m_folder);
    QCOMPARE(m_host.questions.size(), int(asked));
    QVERIFY(!asked || m_host.questions[0].startsWith(QDir::toNativeSeparators(page) + u'\n'));
    const bool replaced = !asked || agreed;
    QCOMPARE(written.ok, replaced);
    QCOMPARE(written.declined, !replaced);
    const QByteArray now = ReadFileBytes(page);
    QCOMPARE(now.contains(images ? "Fetchwright image list" : "Fetchwright folder list"), replaced);
    QVERIFY(replaced || now == old);
    QCOMPARE(m_host.openedDocuments.size(), int(replaced));
}

QTEST_GUILESS_MAIN(TestFolderList)
#include "tst_folderlist.moc"
