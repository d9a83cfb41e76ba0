#include "platform/filesystem.h"

#include "support/tempsettings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestAppendFiles : public QObject {
    Q_OBJECT
private slots:
    void appendsReachTheFileWhileItStaysOpen();
    void theSizeFollowsTheAppends_data();
    void theSizeFollowsTheAppends();
    void aClosedFileThatWasReplacedIsAppendedAnew();
    void aFileThatCannotBeOpenedIsReported();

private:
    QTemporaryDir m_dir;
};

void TestAppendFiles::appendsReachTheFileWhileItStaysOpen()
{
    const QString path = m_dir.filePath(u"log.csv"_s);
    AppendFiles files;
    QVERIFY(files.append(path, "one\r\n"));
    QCOMPARE(ReadFileBytes(path), "one\r\n"_ba);
    QVERIFY(files.append(path, "two\r\n"));
    // No flush and no close: what a killed process leaves is already there.
    QCOMPARE(ReadFileBytes(path), "one\r\ntwo\r\n"_ba);
}

void TestAppendFiles::theSizeFollowsTheAppends_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::newRow("a missing file starts at 0") << QByteArray();
    QTest::newRow("an existing file starts at its size") << "header\r\n"_ba;
}

void TestAppendFiles::theSizeFollowsTheAppends()
{
    QFETCH(QByteArray, before);
    const QString path = m_dir.filePath(u"sized%1.csv"_s.arg(before.size()));
    if (!before.isEmpty())
        QVERIFY(WriteFileBytes(path, before));
    AppendFiles files;
    QCOMPARE(files.size(path), before.size());
    QVERIFY(files.append(path, "12345"));
    QCOMPARE(files.size(path), before.size() + 5);
    QVERIFY(files.append(path, "678"));
    QCOMPARE(files.size(path), QFile(path).size());
}

void TestAppendFiles::aClosedFileThatWasReplacedIsAppendedAnew()
{
    const QString path = m_dir.filePath(u"list.csv"_s);
    AppendFiles files;
    QVERIFY(files.append(path, "old\r\n"));
    files.close(path);
    QVERIFY(ReplaceFileAtomically(path, "new\r\n"));
    QVERIFY(files.append(path, "more\r\n"));
    QCOMPARE(ReadFileBytes(path), "new\r\nmore\r\n"_ba);
    QCOMPARE(files.size(path), 11);
}

void TestAppendFiles::aFileThatCannotBeOpenedIsReported()
{
    // A folder that is a file cannot hold the log, even for a privileged user.
    QVERIFY(WriteFileBytes(m_dir.filePath(u"plain"_s), "x"));
    const QString path = m_dir.filePath(u"plain/log.csv"_s);
    AppendFiles files;
    const IoStatus status = files.append(path, "line\r\n");
    QVERIFY(!status.ok);
    QVERIFY(status.error.startsWith(QDir::toNativeSeparators(path)));
    QCOMPARE(files.size(path), 0);
}

QTEST_GUILESS_MAIN(TestAppendFiles)
#include "tst_appendfiles.moc"
