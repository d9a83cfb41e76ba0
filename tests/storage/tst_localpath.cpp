#include "storage/localpath.h"

#include "crawl/linkaddress.h"
#include "platform/filesystem.h"
#include "records/resumerecord.h"
#include "support/tempsettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString Site = QStringLiteral("http://H/");

} // namespace

class TestLocalPath : public QObject {
    Q_OBJECT
private slots:
    void init();
    void mapsAddresses_data();
    void mapsAddresses();
    void staysInsideTheSiteFolder_data();
    void staysInsideTheSiteFolder();
    void existingFiles_data();
    void existingFiles();
    void numbersUntilAFreeName();
    void overwriteKeepsTheOldFileDuringMapping();
    void aFolderInTheWayIsNumberedAround();
    void aFileMadeWhereAFolderWasMissingIsSeen();
    void longNamesAreShortenedAndStillWritable();
    void longHostFoldersFitTheNameLimit_data();
    void longHostFoldersFitTheNameLimit();
    void numberedNames_data();
    void numberedNames();
    void makeFoldersCreatesAllButTheLastSegment();
    void deleteFileQuietlyIgnoresFailures();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    LocalTree m_tree;
};

void TestLocalPath::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_tree = LocalTree { m_dir->path() + u"/H"_s, u"http://H/"_s, false, true, true };
}

void TestLocalPath::mapsAddresses_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("filedUnder");
    QTest::addColumn<bool>("noDirTree");
    QTest::addColumn<QString>("expectedTail");
    QTest::addColumn<QString>("expectedName");

    const QString top = u"http://H/"_s;
    QTest::newRow("a file keeps its folders")
        << u"http://H/a/b/c.gif"_s << top << false << u"/a/b/c.gif"_s << u"c.gif"_s;
    QTest::newRow("query string is dropped from the file name")
        << u"http://H/cgi/view.cgi?id=3"_s << top << false << u"/cgi/view.cgi"_s << u"view.cgi"_s;
    QTest::newRow("blank and comma become dots")
        << u"http://H/a b,c.html"_s << top << false << u"/a.b.c.html"_s << u"a.b.c.html"_s;
    QTest::newRow("equals and ampersand become dots")
        << u"http://H/x=1&y=2"_s << top << false << u"/x.1.y.2"_s << u"x.1.y.2"_s;
    QTest::newRow("brackets, dollar, colon and backslash become dots")
        << u"http://H/[a]<b>$c:d\\e.gif"_s << top << false << u"/.a..b..c.d.e.gif"_s << u".a..b..c.d.e.gif"_s;
    QTest::newRow("Japanese stays") << u"http://H/写真.jpg"_s << top << false << u"/写真.jpg"_s << u"写真.jpg"_s;
    QTest::newRow("a UTF-8 escaped name is saved decoded")
        << u"http://H/%E6%97%A5%E6%9C%AC.gif"_s << top << false << u"/日本.gif"_s << u"日本.gif"_s;
    QTest::newRow("a Shift_JIS escaped name is saved decoded")
        << u"http://H/%93%FA%96%7B.gif"_s << top << false << u"/日本.gif"_s << u"日本.gif"_s;
    QTest::newRow("UTF-8 and Shift_JIS escaped folders are saved decoded")
        << u"http://H/%E5%86%99%E7%9C%9F/%8E%CA%90%5E/a.gif"_s << top << false << u"/写真/写真/a.gif"_s << u"a.gif"_s;
    QTest::newRow("escapes that are neither UTF-8 nor Shift_JIS stay as they are")
        << u"http://H/%FD%FE%FF/%FF.gif"_s << top << false << u"/%FD%FE%FF/%FF.gif"_s << u"%FF.gif"_s;
    QTest::newRow("an escaped blank becomes a dot as a raw blank does")
        << u"http://H/a%20b/c%20d.gif"_s << top << false << u"/a.b/c.d.gif"_s << u"c.d.gif"_s;
    QTest::newRow("decoded slashes, controls, quotes, stars, bars and question marks become dots")
        << u"http://H/%2F%5C%0A%22%2A%7C%3F*|.gif"_s << top << false << u"/..........gif"_s << u"..........gif"_s;
    QTest::newRow("the query is cut before decoding")
        << u"http://H/v%3F.cgi?x=%E6%97%A5"_s << top << false << u"/v..cgi"_s << u"v..cgi"_s;
    QTest::newRow("an escaped folder address is named after its decoded folder")
        << u"http://H/%E5%86%99%E7%9C%9F/"_s << top << false << u"/写真/写真ｽﾗｯｼｭﾄｯﾌﾟ.html"_s
        << u"写真ｽﾗｯｼｭﾄｯﾌﾟ.html"_s;
    QTest::newRow("a directory address is named after its last folder")
        << u"http://H/a/b/"_s << top << false << u"/a/b/bｽﾗｯｼｭﾄｯﾌﾟ.html"_s << u"bｽﾗｯｼｭﾄｯﾌﾟ.html"_s;
    QTest::newRow("the bare host is named after the host")
        << u"http://H/"_s << top << false << u"/Hｽﾗｯｼｭﾄｯﾌﾟ.html"_s << u"Hｽﾗｯｼｭﾄｯﾌﾟ.html"_s;
    QTest::newRow("a host with a port names its page with a dot for the colon")
        << u"http://H:81/"_s << u"http://H:81/"_s << false << u"/http：／／H.81/H.81ｽﾗｯｼｭﾄｯﾌﾟ.html"_s
        << u"H.81ｽﾗｯｼｭﾄｯﾌﾟ.html"_s;
    QTest::newRow("another host's file goes into a folder of that host")
        << u"http://K/x/y.gif"_s << u"http://K/"_s << false << u"/http：／／K/x/y.gif"_s << u"y.gif"_s;
    QTest::newRow("a host's port colon is cleaned in its folder name")
        << u"http://K:8080/y.gif"_s << u"http://K:8080/"_s << false << u"/http：／／K.8080/y.gif"_s << u"y.gif"_s;
    QTest::newRow("a question mark in a folder becomes a dot")
        << u"http://H/a?b/c.gif"_s << top << false << u"/a.b/c.gif"_s << u"c.gif"_s;
    QTest::newRow("without a tree every file lands in the site folder")
        << u"http://K/x/y.gif"_s << u"http://K/"_s << true << u"/y.gif"_s << u"y.gif"_s;
    // Names Windows would refuse or change are written the same on every system.
    QTest::newRow("a device name gets a full-width first letter, in any case and with any extension")
        << u"http://H/aux/Con.tar.gz"_s << top << false << u"/ａux/Ｃon.tar.gz"_s << u"Ｃon.tar.gz"_s;
    QTest::newRow("numbered devices 1 to 9 only")
        << u"http://H/lpt0/COM9"_s << top << false << u"/lpt0/ＣOM9"_s << u"ＣOM9"_s;
    QTest::newRow("a longer name is no device")
        << u"http://H/console.nul"_s << top << false << u"/console.nul"_s << u"console.nul"_s;
    QTest::newRow("a final dot or blank becomes a full-width dot")
        << u"http://H/dir./a%20"_s << top << false << u"/dir．/a．"_s << u"a．"_s;
    QTest::newRow("the root is compared case-sensitively")
        << u"http://h/y.gif"_s << u"http://h/"_s << false << u"/http：／／h/y.gif"_s << u"y.gif"_s;
}

void TestLocalPath::mapsAddresses()
{
    QFETCH(QString, address);
    QFETCH(QString, filedUnder);
    QFETCH(bool, noDirTree);
    QFETCH(QString, expectedTail);
    QFETCH(QString, expectedName);
    m_tree.noDirTree = noDirTree;
    QString name = address.mid(address.lastIndexOf(u'/') + 1);
    QCOMPARE(MapLocalPath(m_tree, name, address, filedUnder, 100), m_tree.siteDir + expectedTail);
    QCOMPARE(name, expectedName);
}

void TestLocalPath::staysInsideTheSiteFolder_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("filedUnder");
    QTest::addColumn<QString>("expectedTail");
    QTest::newRow("dot-dot folders cannot climb out")
        << u"http://H/a/../../../x.gif"_s << u"http://H/"_s << u"/x.gif"_s;
    QTest::newRow("dot-dot folders climb within the tree")
        << u"http://H/a/b/../c/./x.gif"_s << u"http://H/"_s << u"/a/c/x.gif"_s;
    QTest::newRow("a host made of dots gets full-width dots")
        << u"http://../x.gif"_s << u"http://../"_s << u"/http：／／．．/x.gif"_s;
    QTest::newRow("a file name made of dots gets full-width dots")
        << u"http://H/a/.."_s << u"http://H/"_s << u"/a/．．"_s;
    QTest::newRow("escaped dot-dot folders never climb")
        << u"http://H/a/%2E%2E/%2e%2E/x.gif"_s << u"http://H/"_s << u"/a/．．/．．/x.gif"_s;
    QTest::newRow("a decoded slash never makes a folder")
        << u"http://H/a%2F..%2F..%2Fx.gif"_s << u"http://H/"_s << u"/a.......x.gif"_s;
}

void TestLocalPath::staysInsideTheSiteFolder()
{
    QFETCH(QString, address);
    QFETCH(QString, filedUnder);
    QFETCH(QString, expectedTail);
    QString name = address.mid(address.lastIndexOf(u'/') + 1);
    const QString path = MapLocalPath(m_tree, name, address, filedUnder, 1);
    QCOMPARE(path, m_tree.siteDir + expectedTail);
    MakeFolders(path);
    QVERIFY(WriteFileBytes(path, "x"));
    const QString canonical = QFileInfo(path).canonicalFilePath();
    QVERIFY2(canonical.startsWith(QFileInfo(m_tree.siteDir).canonicalFilePath() + u'/'), qPrintable(canonical));
}

void TestLocalPath::existingFiles_data()
{
    QTest::addColumn<bool>("skipSameName");
    QTest::addColumn<bool>("numberDuplicates");
    QTest::addColumn<int>("existingSize");
    QTest::addColumn<qint64>("expectedSize");
    QTest::addColumn<QString>("expectedTail");
    QTest::addColumn<QString>("existingName");

    QTest::newRow("same size is skipped") << true << true << 100 << qint64(100) << QString() << QString();
    QTest::newRow("one byte more still counts as the same file")
        << true << true << 101 << qint64(100) << QString() << QString();
    QTest::newRow("one byte less still counts as the same file")
        << true << true << 99 << qint64(100) << QString() << QString();
    QTest::newRow("two bytes apart is numbered") << true << true << 102 << qint64(100) << u"/p_0.jpg"_s << QString();
    QTest::newRow("no size and an empty file count as the same")
        << true << true << 0 << qint64(-1) << QString() << QString();
    QTest::newRow("no size and a longer file is numbered")
        << true << true << 5 << qint64(-1) << u"/p_0.jpg"_s << QString();
    QTest::newRow("without skipping an equal file is numbered")
        << false << true << 100 << qint64(100) << u"/p_0.jpg"_s << QString();
    QTest::newRow("without numbering a different file is overwritten")
        << true << false << 5 << qint64(100) << u"/p.jpg"_s << QString();
    // Where names fold case another spelling is another file; elsewhere the name is free.
    QTest::newRow("another spelling of equal size is numbered")
        << true << true << 100 << qint64(100) << u"/p_0.jpg"_s << u"P.jpg"_s;
    QTest::newRow("another spelling is numbered, never replaced")
        << true << false << 5 << qint64(100) << u"/p_0.jpg"_s << u"P.jpg"_s;
}

void TestLocalPath::existingFiles()
{
    QFETCH(bool, skipSameName);
    QFETCH(bool, numberDuplicates);
    QFETCH(int, existingSize);
    QFETCH(qint64, expectedSize);
    QFETCH(QString, expectedTail);
    QFETCH(QString, existingName);
    m_tree.skipSameName = skipSameName;
    m_tree.numberDuplicates = numberDuplicates;
    if (existingName.isEmpty())
        existingName = u"p.jpg"_s;
    QVERIFY(WriteFileBytes(m_tree.siteDir + u'/' + existingName, QByteArray(existingSize, 'x')));
    if (!QFileInfo::exists(m_tree.siteDir + u"/p.jpg"_s))
        expectedTail = u"/p.jpg"_s;
    QString name = u"p.jpg"_s;
    const QString expected = expectedTail.isEmpty() ? QString() : m_tree.siteDir + expectedTail;
    QCOMPARE(MapLocalPath(m_tree, name, u"http://H/p.jpg"_s, Site, expectedSize), expected);
}

void TestLocalPath::numbersUntilAFreeName()
{
    QVERIFY(WriteFileBytes(m_tree.siteDir + u"/a.b.c"_s, "1"));
    QVERIFY(WriteFileBytes(m_tree.siteDir + u"/a.b_0.c"_s, "22"));
    QString name = u"a.b.c"_s;
    const QString address = u"http://H/a.b.c"_s;
    QCOMPARE(MapLocalPath(m_tree, name, address, Site, 500), m_tree.siteDir + u"/a.b_1.c"_s);
    QCOMPARE(name, u"a.b.c"_s);
    // A numbered copy of the same size ends the search: the file is already there.
    QCOMPARE(MapLocalPath(m_tree, name, address, Site, 2), QString());
}

void TestLocalPath::overwriteKeepsTheOldFileDuringMapping()
{
    m_tree.skipSameName = false;
    m_tree.numberDuplicates = false;
    const QString existing = m_tree.siteDir + u"/p.jpg"_s;
    QVERIFY(WriteFileBytes(existing, "old"));
    QString name = u"p.jpg"_s;
    QCOMPARE(MapLocalPath(m_tree, name, u"http://H/p.jpg"_s, Site, 3), existing);
    QCOMPARE(ReadFileBytes(existing), "old"_ba);
}

void TestLocalPath::aFolderInTheWayIsNumberedAround()
{
    QVERIFY(QDir().mkpath(m_tree.siteDir + u"/a"_s));
    QString name = u"a"_s;
    const QString address = u"http://H/a"_s;
    QCOMPARE(MapLocalPath(m_tree, name, address, Site, 3), m_tree.siteDir + u"/a_0"_s);
    m_tree.numberDuplicates = false;
    QCOMPARE(MapLocalPath(m_tree, name, address, Site, 3), QString());
    QVERIFY(QFileInfo(m_tree.siteDir + u"/a"_s).isDir());

    // A folder of the address that a saved file's name takes is numbered too, and an existing
    // folder spelt otherwise where names fold case is named as it lies on disk.
    QVERIFY(WriteFileBytes(m_tree.siteDir + u"/album.html"_s, "page"));
    QVERIFY(QDir().mkpath(m_tree.siteDir + u"/Photos"_s));
    const bool folds = QFileInfo::exists(m_tree.siteDir + u"/ALBUM.HTML"_s);
    const QList<std::pair<QString, QString>> mapped {
        { u"album.html/inner.jpg"_s, u"/album_0.html/inner.jpg"_s },
        { u"ALBUM.HTML/inner.jpg"_s, folds ? u"/ALBUM_0.HTML/inner.jpg"_s : u"/ALBUM.HTML/inner.jpg"_s },
        { u"photos/x.jpg"_s, folds ? u"/Photos/x.jpg"_s : u"/photos/x.jpg"_s },
    };
    for (const auto& [path, tail] : mapped) {
        name = LastPathSegment(path);
        QCOMPARE(MapLocalPath(m_tree, name, u"http://H/"_s + path, Site, 3), m_tree.siteDir + tail);
    }
}

void TestLocalPath::aFileMadeWhereAFolderWasMissingIsSeen()
{
    // What a crawl remembers of its folders never hides a file it has made since.
    KnownFolders known;
    m_tree.folders = &known;
    const QString address = u"http://H/sub/album.html/inner.jpg"_s;
    const QString page = m_tree.siteDir + u"/sub/album.html"_s;
    MakeFolders(page);
    for (const QString& tail : { u"/sub/album.html/inner.jpg"_s, u"/sub/album_0.html/inner.jpg"_s }) {
        QString name = u"inner.jpg"_s;
        QCOMPARE(MapLocalPath(m_tree, name, address, Site, 3), m_tree.siteDir + tail);
        QVERIFY(WriteFileBytes(page, "page"));
        known.madeFile(page);
    }
}

void TestLocalPath::longNamesAreShortenedAndStillWritable()
{
    const QString longStem = u"写"_s.repeated(120) + u"x"_s.repeated(20);
    QString first = longStem + u"1.jpeg"_s;
    QString second = longStem + u"2.jpeg"_s;
    const QString pathOne = MapLocalPath(m_tree, first, u"http://H/"_s + first, Site, 1);
    const QString pathTwo = MapLocalPath(m_tree, second, u"http://H/"_s + second, Site, 1);
    QCOMPARE(first, longStem + u"1.jpeg"_s); // the filters still see the whole name
    const QString fileOne = QFileInfo(pathOne).fileName();
    QVERIFY(fileOne.endsWith(u".jpeg"_s));
    QVERIFY(fileOne.toUtf8().size() <= MaxNameBytes);
    QVERIFY(pathOne != pathTwo);
    MakeFolders(pathOne);
    QVERIFY(WriteFileBytes(pathOne, "1"));
    QVERIFY(WriteFileBytes(pathTwo, "2"));
    QCOMPARE(ReadFileBytes(pathOne), "1"_ba);
    // The same long name maps to the same shortened file again, so the same-name rules still apply.
    QString again = longStem + u"1.jpeg"_s;
    QCOMPARE(MapLocalPath(m_tree, again, u"http://H/"_s + again, Site, 1), QString());
}

void TestLocalPath::longHostFoldersFitTheNameLimit_data()
{
    QTest::addColumn<QString>("host");
    // A legal host name: labels of at most 63 characters, 248 in all, then a port.
    const QString label = u"a"_s.repeated(61);
    const QString longHost = QStringList { label, label, label, label }.join(u'.') + u".jp:8080"_s;
    QTest::newRow("a 248-character host name with a port") << longHost;
    QTest::newRow("a host of 30 kanji on the wire") << EncodeForWire(u"漢"_s.repeated(30) + u".jp"_s);
}

void TestLocalPath::longHostFoldersFitTheNameLimit()
{
    QFETCH(QString, host);
    const QString root = u"http://"_s + host + u'/';

    // Another host's file lands in a folder whose whole name, prefix included, fits.
    QString name = u"y.gif"_s;
    const QString path = MapLocalPath(m_tree, name, root + u"x/y.gif"_s, root, 10);
    QVERIFY(path.startsWith(m_tree.siteDir + ForeignHostPrefix));
    const QString foreignFolder = path.mid(m_tree.siteDir.size() + 1).section(u'/', 0, 0);
    QVERIFY2(foreignFolder.toUtf8().size() <= MaxNameBytes, qPrintable(foreignFolder));
    MakeFolders(path);
    QVERIFY(WriteFileBytes(path, "x"));
    QCOMPARE(ReadFileBytes(path), "x"_ba);

    // The site folder of a crawl of that host holds its records.
    const QString saveDir = m_dir->path() + u'/';
    const QString siteDir = SiteDirOf(saveDir, root);
    QVERIFY2(QFileInfo(siteDir).fileName().toUtf8().size() <= MaxNameBytes, qPrintable(siteDir));
    QCOMPARE(SiteDirOf(saveDir, root + u"a/b.html"_s), siteDir);
    QVERIFY(QDir().mkpath(siteDir));
    ResumeRecord record;
    record.topAddr = root;
    QVERIFY(WriteResumeRecord(ResumeRecordPath(siteDir), record));
    const std::optional<ResumeRecord> back = ReadResumeRecord(ResumeRecordPath(siteDir));
    QVERIFY(back);
    QCOMPARE(back->topAddr, root);
}

void TestLocalPath::numberedNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("counter");
    QTest::addColumn<QString>("expected");
    QTest::newRow("the number goes before the extension") << u"photo.jpg"_s << 0 << u"photo_0.jpg"_s;
    QTest::newRow("only the last extension is kept apart") << u"a.b.c"_s << 1 << u"a.b_1.c"_s;
    QTest::newRow("a name without extension gets the number at its end") << u"README"_s << 0 << u"README_0"_s;
}

void TestLocalPath::numberedNames()
{
    QFETCH(QString, name);
    QFETCH(int, counter);
    QFETCH(QString, expected);
    QCOMPARE(NumberedName(name, counter), expected);
}

void TestLocalPath::makeFoldersCreatesAllButTheLastSegment()
{
    const QString path = m_dir->path() + u"/x/y/z/file.gif"_s;
    MakeFolders(path);
    QVERIFY(QFileInfo(m_dir->path() + u"/x/y/z"_s).isDir());
    QVERIFY(!QFileInfo::exists(path));
    MakeFolders(path); // existing folders are no failure
    QVERIFY(QFileInfo(m_dir->path() + u"/x/y/z"_s).isDir());
    MakeFolder(path); // named as a folder, it is made too
    QVERIFY(QFileInfo(path).isDir());
}

void TestLocalPath::deleteFileQuietlyIgnoresFailures()
{
    DeleteFileQuietly(m_dir->path() + u"/missing.gif"_s);
    const QString readOnly = m_dir->path() + u"/ro.gif"_s;
    QVERIFY(WriteFileBytes(readOnly, "keep"));
    QFile::setPermissions(readOnly, QFileDevice::ReadOwner);
    DeleteFileQuietly(readOnly);
    QVERIFY(QFile::exists(readOnly));
    QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    DeleteFileQuietly(readOnly);
    QVERIFY(!QFile::exists(readOnly));
    QVERIFY(QDir().mkpath(m_dir->path() + u"/folder"_s));
    DeleteFileQuietly(m_dir->path() + u"/folder"_s);
    QVERIFY(QFileInfo(m_dir->path() + u"/folder"_s).isDir());
}

QTEST_GUILESS_MAIN(TestLocalPath)
#include "tst_localpath.moc"
