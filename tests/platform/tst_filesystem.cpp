// The final separator that the dialogs and the command line add to a folder before a file name is
// appended to it, and the name at the end of a path.
#include "platform/filelock.h"
#include "platform/filesystem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestFileSystem : public QObject {
    Q_OBJECT
private slots:
    void withFinalSeparator_data();
    void withFinalSeparator();
    void lastPathSegment_data();
    void lastPathSegment();
    void folderRoot_data();
    void folderRoot();
    void pathsBeyond260CharactersAreWritten();
    void aLockDiesWithItsHolderWhateverItsFileSays();
};

void TestFileSystem::withFinalSeparator_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<int>("empty");
    QTest::addColumn<QString>("expected");
    const int root = int(EmptyFolder::BecomesRoot);
    const int stays = int(EmptyFolder::StaysEmpty);
    const QString sep = QDir::separator(); // what is added: "\\" on Windows
    QTest::newRow("a folder without its separator gets one") << u"/a/b"_s << root << u"/a/b"_s + sep;
    QTest::newRow("a folder ending in its separator is left alone") << u"/a/b/"_s << root << u"/a/b/"_s;
    QTest::newRow("the root is left alone") << u"/"_s << root << u"/"_s;
    QTest::newRow("a relative folder gets one") << u"save"_s << root << u"save"_s + sep;
    QTest::newRow("only one separator is added to a name ending in a dot") << u"/a/b."_s << root << u"/a/b."_s + sep;
#ifdef Q_OS_WIN
    QTest::newRow("a backslash is a separator there") << u"/a/b\\"_s << root << u"/a/b\\"_s;
#else
    // "\" is an ordinary name character here, never a separator.
    QTest::newRow("a backslash is no separator here") << u"/a/b\\"_s << root << u"/a/b\\/"_s;
#endif
    QTest::newRow("an empty save folder becomes the root") << QString() << root << sep;
    QTest::newRow("an empty resume folder stays empty") << QString() << stays << QString();
    QTest::newRow("a resume folder gets its separator") << u"/a/b"_s << stays << u"/a/b"_s + sep;
    QTest::newRow("a resume folder ending in its separator is left alone") << u"/a/"_s << stays << u"/a/"_s;
}

void TestFileSystem::withFinalSeparator()
{
    QFETCH(QString, folder);
    QFETCH(int, empty);
    QFETCH(QString, expected);
    QCOMPARE(WithFinalSeparator(folder, EmptyFolder(empty)), expected);
}

void TestFileSystem::lastPathSegment_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("a file in a folder gives its name") << u"/a/b/c.gif"_s << u"c.gif"_s;
    QTest::newRow("a name without a folder is itself") << u"c.gif"_s << u"c.gif"_s;
    QTest::newRow("a path ending in its separator gives nothing") << u"/a/b/"_s << QString();
#ifdef Q_OS_WIN
    QTest::newRow("a backslash is a separator there") << u"/a/b\\c.gif"_s << u"c.gif"_s;
#else
    QTest::newRow("a backslash is no separator here") << u"/a/b\\c.gif"_s << u"b\\c.gif"_s;
#endif
    QTest::newRow("an empty path gives nothing") << QString() << QString();
}

void TestFileSystem::lastPathSegment()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(LastPathSegment(path), expected);
}

void TestFileSystem::folderRoot_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    const QString sep = QDir::separator();
    QTest::newRow("a folder from the root") << u"/a/b"_s << sep;
    QTest::newRow("a relative folder has none") << u"save/a"_s << QString();
#ifdef Q_OS_WIN
    QTest::newRow("a drive") << u"c:/dl"_s << u"c:\\"_s;
    QTest::newRow("a bare drive") << u"D:"_s << u"D:\\"_s;
    QTest::newRow("a network share") << u"\\\\nas\\share\\dl\\"_s << u"\\\\nas\\share\\"_s;
    QTest::newRow("a network share written with /") << u"//nas/share"_s << u"\\\\nas\\share\\"_s;
#endif
}

void TestFileSystem::folderRoot()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(FolderRoot(path), expected);
}

void TestFileSystem::pathsBeyond260CharactersAreWritten()
{
    // Deep site trees pass Windows' old limit of 260 characters a path.
    QTemporaryDir dir;
    const QString folder = dir.filePath(QString(100, u'a') + u'/' + QString(100, u'b') + u'/' + QString(100, u'c'));
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + u"/record.txt"_s;
    QVERIFY(path.size() > 300);
    QVERIFY(ReplaceFileAtomically(path, "one\r\n", FileAccess::OwnerOnly).ok);
    QVERIFY(ReplaceFileAtomically(path, "two\r\n").ok);
    QVERIFY(AppendToFile(path, "three\r\n").ok);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), "two\r\nthree\r\n"_ba);
}

void TestFileSystem::aLockDiesWithItsHolderWhateverItsFileSays()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"x.lock"_s);
    // What a killed holder leaves, naming a process that runs: this one, as a new process may get
    // the number of one that died.
    QFile left(path);
    QVERIFY(left.open(QIODevice::WriteOnly));
    left.write(QByteArray::number(QCoreApplication::applicationPid()) + "\nfetchwright\nhost\n");
    left.close();
    {
        const FileLock first(path);
        QCOMPARE(first.state(), FileLock::Held);
        QCOMPARE(FileLock(path).state(), FileLock::InUse); // a second, in this process too
    }
    QVERIFY(!QFile::exists(path));
    QCOMPARE(FileLock(path).state(), FileLock::Held);
    QCOMPARE(FileLock(dir.filePath(u"none/x.lock"_s)).state(), FileLock::Unavailable);
}

QTEST_GUILESS_MAIN(TestFileSystem)
#include "tst_filesystem.moc"
