#include "storage/downloadfile.h"

#include "support/tempsettings.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestDownloadFile : public QObject {
    Q_OBJECT
private slots:
    void piecesLandInOrderInFoldersMadeOnDemand();
    void nothingIsCreatedBeforeTheFirstBytes();
    void truncateStartsTheFileOver();
    void aNewFileClosesTheOneBefore();
    void aFolderThatIsAFileIsReported();

private:
    QTemporaryDir m_dir;
};

void TestDownloadFile::piecesLandInOrderInFoldersMadeOnDemand()
{
    const QString path = m_dir.filePath(u"h/a/b/c.gif"_s);
    DownloadFile file;
    file.start(path);
    QVERIFY(file.write("GIF8"));
    QVERIFY(file.write(QByteArray(100000, 'x')));
    QVERIFY(file.write("end"));
    QVERIFY(file.close());
    QCOMPARE(ReadFileBytes(path), "GIF8"_ba + QByteArray(100000, 'x') + "end");
}

void TestDownloadFile::nothingIsCreatedBeforeTheFirstBytes()
{
    const QString path = m_dir.filePath(u"empty/none.gif"_s);
    DownloadFile file;
    file.start(path);
    QVERIFY(file.write(QByteArrayView()));
    QVERIFY(file.close());
    QVERIFY(!QFileInfo::exists(m_dir.filePath(u"empty"_s)));
}

void TestDownloadFile::truncateStartsTheFileOver()
{
    const QString path = m_dir.filePath(u"ranged.bin"_s);
    DownloadFile file;
    file.start(path);
    QVERIFY(file.truncate()); // opened emptied, as a record's file is
    QVERIFY(file.write("first piece"));
    QVERIFY(file.truncate());
    QVERIFY(file.write("again"));
    QVERIFY(file.close());
    QCOMPARE(ReadFileBytes(path), "again"_ba);
}

void TestDownloadFile::aNewFileClosesTheOneBefore()
{
    DownloadFile file;
    file.start(m_dir.filePath(u"one.gif"_s));
    QVERIFY(file.write("1"));
    file.start(m_dir.filePath(u"two.gif"_s));
    QVERIFY(file.write("2"));
    QVERIFY(file.close());
    QCOMPARE(ReadFileBytes(m_dir.filePath(u"one.gif"_s)), "1"_ba);
    QCOMPARE(ReadFileBytes(m_dir.filePath(u"two.gif"_s)), "2"_ba);
    QCOMPARE(file.path(), m_dir.filePath(u"two.gif"_s));
}

void TestDownloadFile::aFolderThatIsAFileIsReported()
{
    QVERIFY(WriteFileBytes(m_dir.filePath(u"plain"_s), "x"));
    DownloadFile file;
    file.start(m_dir.filePath(u"plain/a.gif"_s));
    const IoStatus status = file.write("bytes");
    QVERIFY(!status.ok);
    QVERIFY(status.error.contains(QDir::toNativeSeparators(u"plain/a.gif"_s)));
}

QTEST_GUILESS_MAIN(TestDownloadFile)
#include "tst_downloadfile.moc"
