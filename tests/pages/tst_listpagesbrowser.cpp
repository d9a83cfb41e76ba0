// The list pages as a browser sees them: generated pages opened from file:// in headless Chromium,
// checked from the browser's own view (the DOM after load, scripts run in the page by the test).
// One thumbnail page's screenshot is kept beside this test program for a person to look at.
#include "pages/folderlist.h"
#include "platform/filesystem.h"
#include "settings/settingskeys.h"
#include "settings/settingsstore.h"
#include "support/headlesschromium.h"
#include "support/quiethost.h"
#include "support/recordinghost.h"
#include "support/tempsettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// 1 x 1 pictures: a red GIF and a PNG.
const QByteArray Gif = QByteArray::fromBase64("R0lGODlhAQABAIAAAP8AAAAAACH5BAAAAAAALAAAAAABAAEAAAICRAEAOw==");
const QByteArray Png = QByteArray::fromBase64(
    "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==");

const QStringList AwkwardNames { u"blank name.gif"_s, u"100%.png"_s, u"#hash.gif"_s, u"what?.png"_s,
    u"日本語の画像.gif"_s, u"絵文字😀.png"_s, u"plain.gif"_s };

// Names that would run script if a page wrote them unescaped. The subfolder and its file make a
// path holding a whole script element, which no single file name can hold.
const QStringList HostileNames { u"<img src=x onerror=alert(1)>.gif"_s, u"\"><svg onload=alert(2)>.gif"_s,
    u"'><img src=x onerror=document.title=3>.png"_s, u"\"><script>alert(4)</script>.gif"_s };

enum class Kind { Thumbnails, OnePerEntry, DirectoryList };

struct Images {
    int count = 0;
    QStringList unloaded;
};

// Which images of the shown page have not loaded (natural width 0), and how many there are.
const QString ImagesScript
    = u"JSON.stringify([...document.images].map(i => [i.getAttribute('src'), i.complete && i.naturalWidth > 0]))"_s;

// Every attribute that could run script, and every script-capable element, on the shown page.
const QString ScriptHooksScript
    = u"JSON.stringify([...document.querySelectorAll('*')].flatMap(e => "
      "[...e.attributes].filter(a => a.name.startsWith('on')).map(a => e.tagName + ' ' + "
      "a.name)).concat([...document.querySelectorAll('script, svg')].map(e => e.tagName)))"_s;

const QString PageLinksScript = u"JSON.stringify([...document.links].filter(a => /^([0-9]+|戻る|次へ)$/"
                                ".test(a.textContent)).map(a => [a.textContent, a.href]))"_s;

} // namespace

class TestListPagesBrowser : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void everyPictureLoads_data();
    void everyPictureLoads();
    void hostileFileNamesRunNothing_data();
    void hostileFileNamesRunNothing();
    void aPreviewedDocumentCannotTouchTheListPage();
    void pageLinksLeadToThePagesThatExist();
    void aUsersOwnPageStaysWhatTheBrowserShows();

private:
    // Writes the pages of kind for folder and returns their paths, page 1 first.
    QStringList writePages(Kind kind, const QString& folder, int perPage);
    Images imagesOf(const QString& page);
    QJsonArray evaluateJson(const QString& script);

    std::unique_ptr<HeadlessChromium> m_browser;
    QTemporaryDir m_settingsDir;
    int m_runs = 0;
};

void TestListPagesBrowser::initTestCase()
{
    if (HeadlessChromium::executable().isEmpty())
        QSKIP("chromium is not installed (Debian package chromium; scripts/test installs it)");
    m_browser = std::make_unique<HeadlessChromium>();
    QVERIFY2(m_browser->start(QSize(1000, 800)), qPrintable(m_browser->error()));
}

void TestListPagesBrowser::cleanupTestCase()
{
    if (m_browser)
        m_browser->stop();
}

QStringList TestListPagesBrowser::writePages(Kind kind, const QString& folder, int perPage)
{
    SettingsStore settings(m_settingsDir.filePath(u"s%1.conf"_s.arg(++m_runs)));
    QuietHost host;
    IoStatus written;
    QString base;
    if (kind == Kind::DirectoryList) {
        base = u"一覧"_s;
        settings.save(SettingsKeys::MakeListFileName, base);
        settings.save(SettingsKeys::MakeListExts, u".gif;.png;.html"_s);
        settings.save(SettingsKeys::MakeListFileCount, perPage);
        written = MakeDirList(settings, host, folder);
    } else {
        base = u"画像一覧"_s;
        settings.save(SettingsKeys::MakeGraphListFileName, base);
        settings.save(SettingsKeys::MakeGraphListExts, u".gif;.png"_s);
        settings.save(SettingsKeys::MakeGraphMinCheck, kind == Kind::Thumbnails ? u"1"_s : u"0"_s);
        // Thumbnail pages count rows of five.
        settings.save(SettingsKeys::MakeGraphMinNLine, perPage);
        settings.save(SettingsKeys::MakeGraphListCount, perPage);
        written = MakeGraphList(settings, host, folder);
    }
    if (!written)
        qWarning() << written.error;
    QStringList pages;
    for (int n = 1; QFile::exists(folder + u'/' + base + QString::number(n) + u".html"_s); ++n)
        pages.append(folder + u'/' + base + QString::number(n) + u".html"_s);
    return pages;
}

QJsonArray TestListPagesBrowser::evaluateJson(const QString& script)
{
    return QJsonDocument::fromJson(m_browser->evaluate(script).toString().toUtf8()).array();
}

Images TestListPagesBrowser::imagesOf(const QString& page)
{
    Images images;
    if (!m_browser->open(QUrl::fromLocalFile(page)))
        return images;
    const QJsonArray shown = evaluateJson(ImagesScript);
    images.count = int(shown.size());
    for (const QJsonValue& image : shown)
        if (!image.toArray().at(1).toBool())
            images.unloaded.append(image.toArray().at(0).toString());
    return images;
}

void TestListPagesBrowser::everyPictureLoads_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("thumbnails, five to a row") << int(Kind::Thumbnails);
    QTest::newRow("one picture per entry") << int(Kind::OnePerEntry);
    QTest::newRow("previews of a directory list") << int(Kind::DirectoryList);
}

void TestListPagesBrowser::everyPictureLoads()
{
    QFETCH(int, kind);
    // The folder's own name needs encoding too: every picture's address starts with it.
    QTemporaryDir dir;
    const QString folder = dir.filePath(u"画像 100%#1"_s);
    for (const QString& name : AwkwardNames)
        QVERIFY(WriteFileBytes(folder + u'/' + name, name.endsWith(u".gif"_s) ? Gif : Png));
    const QStringList pages = writePages(Kind(kind), folder, 1);
    QVERIFY(pages.size() > 1);

    int shown = 0;
    for (const QString& page : pages) {
        const Images images = imagesOf(page);
        QVERIFY2(m_browser->error().isEmpty(), qPrintable(m_browser->error()));
        QVERIFY2(images.unloaded.isEmpty(), qPrintable(page + u": "_s + images.unloaded.join(u", "_s)));
        shown += images.count;
        if (Kind(kind) == Kind::Thumbnails && page == pages.first()) {
            const QByteArray png = m_browser->screenshot();
            QVERIFY2(png.startsWith("\x89PNG"), qPrintable(m_browser->error()));
            QVERIFY(
                WriteFileBytes(QCoreApplication::applicationDirPath() + u"/listpagesbrowser-thumbnails.png"_s, png));
        }
    }
    QCOMPARE(shown, AwkwardNames.size());
    QVERIFY(m_browser->dialogs().isEmpty());
}

void TestListPagesBrowser::hostileFileNamesRunNothing_data()
{
    everyPictureLoads_data();
}

void TestListPagesBrowser::hostileFileNamesRunNothing()
{
    QFETCH(int, kind);
    QTemporaryDir dir;
    const QString folder = dir.filePath(u"hostile"_s);
    for (const QString& name : HostileNames)
        QVERIFY(WriteFileBytes(folder + u'/' + name, name.endsWith(u".gif"_s) ? Gif : Png));
    const QStringList pages = writePages(Kind(kind), folder, 20);
    QCOMPARE(pages.size(), 1);
    const QString title
        = folder + (Kind(kind) == Kind::DirectoryList ? u"　内のファイル1"_s : u"　内の画像ファイル1"_s);

    const int dialogsBefore = int(m_browser->dialogs().size());
    const Images images = imagesOf(pages.first());
    QVERIFY2(m_browser->error().isEmpty(), qPrintable(m_browser->error()));
    QCOMPARE(m_browser->dialogs().mid(dialogsBefore), QStringList());
    QCOMPARE(m_browser->evaluate(u"document.title"_s).toString(), title);
    QCOMPARE(evaluateJson(ScriptHooksScript), QJsonArray());
    // Escaped, the names still name the files: every picture loads.
    QCOMPARE(images.count, HostileNames.size());
    QCOMPARE(images.unloaded, QStringList());
}

void TestListPagesBrowser::aPreviewedDocumentCannotTouchTheListPage()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(u"documents"_s);
    QVERIFY(WriteFileBytes(folder + u"/intruder.html"_s,
        "<html><body><p>inside</p><script>alert('framed');"
        "try { top.document.title = 'taken'; } catch (e) {}"
        "try { top.document.body.innerHTML = 'gone'; } catch (e) {}"
        "try { top.location.href = 'about:blank'; } catch (e) {}</script></body></html>"));
    const QStringList pages = writePages(Kind::DirectoryList, folder, 20);
    QCOMPARE(pages.size(), 1);

    const int dialogsBefore = int(m_browser->dialogs().size());
    QVERIFY2(m_browser->open(QUrl::fromLocalFile(pages.first())), qPrintable(m_browser->error()));
    QCOMPARE(m_browser->evaluate(u"document.querySelectorAll('iframe[sandbox]').length"_s).toInt(), 1);
    QCOMPARE(m_browser->dialogs().mid(dialogsBefore), QStringList());
    QCOMPARE(m_browser->evaluate(u"document.title"_s).toString(), folder + u"　内のファイル1"_s);
    QCOMPARE(m_browser->evaluate(u"location.href"_s).toString(),
        QUrl::fromLocalFile(pages.first()).toString(QUrl::FullyEncoded));
    QVERIFY(m_browser->evaluate(u"document.body.textContent.includes('Fetchwright')"_s).toBool());
}

void TestListPagesBrowser::pageLinksLeadToThePagesThatExist()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(u"リスト 100%#1"_s);
    for (int i = 1; i <= 12; ++i)
        QVERIFY(WriteFileBytes(folder + u"/p%1.gif"_s.arg(i, 2, 10, QChar(u'0')), Gif));
    // One row of five per page: 12 pictures make three pages.
    const QStringList pages = writePages(Kind::Thumbnails, folder, 1);
    QCOMPARE(pages.size(), 3);

    QVERIFY2(m_browser->open(QUrl::fromLocalFile(pages.first())), qPrintable(m_browser->error()));
    for (int n = 1; n <= pages.size(); ++n) {
        QCOMPARE(m_browser->evaluate(u"document.title"_s).toString(), folder + u"　内の画像ファイル%1"_s.arg(n));
        QStringList numbers;
        QStringList steps;
        for (const QJsonValue& link : evaluateJson(PageLinksScript)) {
            const QString text = link.toArray().at(0).toString();
            const QString target = QUrl(link.toArray().at(1).toString()).toLocalFile();
            qsizetype expected = 0;
            if (text == u"戻る"_s) {
                expected = n - 1;
                steps.append(text);
            } else if (text == u"次へ"_s) {
                expected = n + 1;
                steps.append(text);
            } else {
                expected = text.toInt();
                numbers.append(text);
            }
            QVERIFY2(expected >= 1 && expected <= pages.size(), qPrintable(text + u" on page "_s + QString::number(n)));
            QCOMPARE(target, pages[expected - 1]);
            QVERIFY(QFile::exists(target));
        }
        // The index twice (top and bottom), each step link twice where it belongs.
        QCOMPARE(numbers, (QStringList { u"1"_s, u"2"_s, u"3"_s, u"1"_s, u"2"_s, u"3"_s }));
        QStringList expectedSteps;
        if (n > 1)
            expectedSteps << u"戻る"_s;
        if (n < pages.size())
            expectedSteps << u"次へ"_s;
        QCOMPARE(steps, expectedSteps + expectedSteps);
        // Followed as a user follows it.
        if (n < pages.size())
            QVERIFY2(m_browser->navigateBy(u"[...document.links].find(a => a.textContent === '次へ').click()"_s),
                qPrintable(m_browser->error()));
    }
}

void TestListPagesBrowser::aUsersOwnPageStaysWhatTheBrowserShows()
{
    // The user keeps a page of their own where page 1 would go, and says no when asked.
    QTemporaryDir dir;
    QVERIFY(WriteFileBytes(dir.filePath(u"p.gif"_s), Gif));
    QVERIFY(WriteFileBytes(dir.filePath(u"画像一覧1.html"_s), "<title>mine</title><p>my trip</p>"));
    SettingsStore settings(m_settingsDir.filePath(u"own.conf"_s));
    settings.save(SettingsKeys::MakeGraphListFileName, u"画像一覧"_s);
    RecordingHost user;
    user.answers = { false };
    QVERIFY(MakeGraphList(settings, user, dir.path()).declined);
    QVERIFY2(m_browser->open(QUrl::fromLocalFile(dir.filePath(u"画像一覧1.html"_s))), qPrintable(m_browser->error()));
    QCOMPARE(m_browser->evaluate(u"document.title"_s).toString(), u"mine"_s);
}

QTEST_GUILESS_MAIN(TestListPagesBrowser)
#include "tst_listpagesbrowser.moc"
