// The temporary file of a download: beside its real name, created before any byte, swapped in
// whole, and never replacing what it may not replace.
#include "storage/partfile.h"

#include "support/tempsettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestPartFile : public QObject {
    Q_OBJECT
private slots:
    void theTemporaryNameIsHiddenBesideTheRealOneAndShort();
    void aCompleteBodyReplacesTheOldFileInOneStep();
    void aBodyWithoutBytesBecomesAnEmptyFileButAVanishedOneFails();
    void aReadOnlyFileIsNotReplaced();
    void discardingLeavesTheOldFileAlone();
};

void TestPartFile::theTemporaryNameIsHiddenBesideTheRealOneAndShort()
{
    const QString longName = QString(250, u'写') + u".gif"_s;
    const QString part = PartFilePath(u"/data/H/img/"_s + longName);
    QVERIFY2(part.startsWith(u"/data/H/img/.fetchwright-"_s), qPrintable(part));
    QVERIFY(part.endsWith(u".part"_s));
    QVERIFY(QFileInfo(part).fileName().size() < 40);
    QCOMPARE(PartFilePath(u"/data/H/img/"_s + longName), part);
    QVERIFY(PartFilePath(u"/data/H/img/b.gif"_s) != PartFilePath(u"/data/H/img/c.gif"_s));
}

void TestPartFile::aCompleteBodyReplacesTheOldFileInOneStep()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"sub/a.gif"_s);
    QVERIFY(WriteFileBytes(path, "old"));
    QVERIFY(StartPartFile(path));
    QVERIFY(PartFileExists(path));
    QFile part(PartFilePath(path));
    QVERIFY(part.open(QIODevice::Append));
    part.write("new body");
    part.close();
    QCOMPARE(ReadFileBytes(path), "old"_ba);
    QVERIFY(CommitPartFile(path));
    QCOMPARE(ReadFileBytes(path), "new body"_ba);
    QVERIFY(!PartFileExists(path));
    QCOMPARE(QDir(dir.filePath(u"sub"_s)).entryList(QDir::Files | QDir::Hidden), QStringList { u"a.gif"_s });
}

void TestPartFile::aBodyWithoutBytesBecomesAnEmptyFileButAVanishedOneFails()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"deep/er/empty.txt"_s);
    QVERIFY(!CommitPartFile(path));
    QVERIFY(!QFileInfo::exists(path));
    QVERIFY(StartPartFile(path));
    QVERIFY(CommitPartFile(path));
    QCOMPARE(QFileInfo(path).size(), 0);
}

void TestPartFile::aReadOnlyFileIsNotReplaced()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"kept.gif"_s);
    QVERIFY(WriteFileBytes(path, "kept"));
    QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner));
    QVERIFY(StartPartFile(path));
    QVERIFY(!CommitPartFile(path));
    QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    QCOMPARE(ReadFileBytes(path), "kept"_ba);
    // Nor is a folder in its place.
    const QString folder = dir.filePath(u"folder.gif"_s);
    QVERIFY(QDir(folder).mkpath(u"inside"_s));
    QVERIFY(StartPartFile(folder));
    QVERIFY(!CommitPartFile(folder));
    QVERIFY(QFileInfo(folder + u"/inside"_s).isDir());
}

void TestPartFile::discardingLeavesTheOldFileAlone()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"a.gif"_s);
    QVERIFY(WriteFileBytes(path, "old"));
    QVERIFY(StartPartFile(path));
    DiscardPartFile(path);
    QVERIFY(!PartFileExists(path));
    QCOMPARE(ReadFileBytes(path), "old"_ba);
}

QTEST_GUILESS_MAIN(TestPartFile)
#include "tst_partfile.moc"
