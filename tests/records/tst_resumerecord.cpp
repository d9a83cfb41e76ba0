#include "records/recordfile.h"
#include "records/recordline.h"
#include "records/resumerecord.h"

#include "support/tempsettings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

ResumeRecord sampleRecord()
{
    ResumeRecord r;
    r.topAddr = u"http://h/top/index.html"_s;
    r.workLine = 7;
    r.workList = u"/save/h/FetchwrightDATA1.csv"_s;
    r.accessType = 2;
    r.proxy = u"proxy:8080"_s;
    r.remotePort = 80;
    r.requestTimeout = 60;
    r.saveDir = u"/save/保存\",\"先/"_s;
    r.depthLimit = 4;
    r.searchType = 2;
    r.noDirTree = false;
    r.skipSameName = true;
    r.downloadExts = u".gif;.jpg"_s;
    r.onDownFileNames = u"[00-99]"_s;
    r.notDownFileNames = u"thumb"_s;
    r.numberDuplicates = true;
    r.bufferSize = 1048576;
    r.curDepth = 2;
    r.currentAddress = u"http://h/top/a.gif"_s;
    r.counters[Counter::Detect] = 19;
    r.counters[Counter::Download] = 20;
    r.counters[Counter::Checked] = 21;
    r.counters[Counter::Failure] = 22;
    r.counters[Counter::Planned] = 23;
    r.counters[Counter::ErrorResponse] = 24;
    r.maxSize = 1048576;
    r.minSize = 0;
    r.authString = u"dXNlcjpwYXNz"_s;
    r.userAgent = u"Mozilla/4.0 (compatible; MSIE 5.01; Windows NT 5.0)"_s;
    return r;
}

} // namespace

class TestResumeRecord : public QObject {
    Q_OBJECT
private slots:
    void init();
    void fieldsAreInTheirPlaces();
    void roundTripsThroughTheFile();
    void aTopAddressOfAwkwardTextReadsBack_data();
    void aTopAddressOfAwkwardTextReadsBack();
    void theLastLineCounts();
    void checkpointRoundTripsAndOlderRecordsHaveNone();
    void brokenRecordsAreRefused_data();
    void brokenRecordsAreRefused();
    void replacementLeavesNoTemporaryFile();
    void theRecordIsReadableByItsOwnerOnly();
    void appendedRecordsReadBackAsTheLastWhole_data();
    void appendedRecordsReadBackAsTheLastWhole();
    void aGrowingFileIsReplacedByTheLastRecordAlone();
    void settlingLeavesTheLastRecordAlone();
    void resumeListKeepsOrderAndDropsBySiteRoot();
    void aMissingResumeListIsWrittenEmptyByDrop();
    void writeErrorsAreReported();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestResumeRecord::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
}

void TestResumeRecord::fieldsAreInTheirPlaces()
{
    const QStringList fields = sampleRecord().toFields();
    QCOMPARE(fields.size(), ResumeFieldCount);
    QCOMPARE(fields[1], u"7"_s);
    QCOMPARE(fields[10], u"False"_s);
    QCOMPARE(fields[11], u"True"_s);
    QCOMPARE(fields[18], u"http://h/top/a.gif"_s);
    for (int field = FieldDetectCount; field <= FieldErrorResponseCount; ++field)
        QCOMPARE(fields[field], QString::number(field));
    QCOMPARE(fields[27], u"dXNlcjpwYXNz"_s);
    QCOMPARE(fields[28], u"Mozilla/4.0 (compatible; MSIE 5.01; Windows NT 5.0)"_s);
}

void TestResumeRecord::roundTripsThroughTheFile()
{
    const QString path = ResumeRecordPath(m_dir->path());
    QCOMPARE(path, m_dir->path() + u"/FetchwrightRecode.csv"_s);
    QVERIFY(WriteResumeRecord(path, sampleRecord()));
    const std::optional<ResumeRecord> read = ReadResumeRecord(path);
    QVERIFY(read);
    QCOMPARE(read->toFields(), sampleRecord().toFields());
    QVERIFY(ReadFileBytes(path).endsWith("\r\n"));
}

void TestResumeRecord::aTopAddressOfAwkwardTextReadsBack_data()
{
    QTest::addColumn<QString>("topAddr");
    QTest::newRow("a single comma, which with its quotes looks like the separator") << u","_s;
    QTest::newRow("a comma then a quote") << u",\""_s;
    QTest::newRow("an empty top address") << QString();
}

void TestResumeRecord::aTopAddressOfAwkwardTextReadsBack()
{
    QFETCH(QString, topAddr);
    const QString path = ResumeRecordPath(m_dir->path());
    ResumeRecord record = sampleRecord();
    record.topAddr = topAddr;
    QVERIFY(WriteResumeRecord(path, record));
    const std::optional<ResumeRecord> read = ReadResumeRecord(path);
    QVERIFY(read);
    QCOMPARE(read->toFields(), record.toFields());
}

void TestResumeRecord::theLastLineCounts()
{
    const QString path = ResumeRecordPath(m_dir->path());
    ResumeRecord older = sampleRecord();
    older.workLine = 1;
    QVERIFY(AppendRecordLines(path, { JoinRecordLine(older.toFields()), JoinRecordLine(sampleRecord().toFields()) }));
    QCOMPARE(ReadResumeRecord(path)->workLine, 7);
}

void TestResumeRecord::checkpointRoundTripsAndOlderRecordsHaveNone()
{
    const QString path = ResumeRecordPath(m_dir->path());
    ResumeRecord record = sampleRecord();
    ResumeCheckpoint checkpoint;
    checkpoint.stage = ResumeCheckpoint::Done;
    checkpoint.workListSize = 1234;
    checkpoint.errorLogSize = 9;
    checkpoint.counters = { 1, 2, 3, 4, 5, 6 };
    checkpoint.pendingPath = u"/save/h/a \"b\".gif"_s;
    record.checkpoint = checkpoint;
    record.moreLinks = true;
    QVERIFY(WriteResumeRecord(path, record));
    const std::optional<ResumeRecord> read = ReadResumeRecord(path);
    QVERIFY(read && read->checkpoint && read->moreLinks == true && !read->followSitemaps);
    QCOMPARE(read->toFields(), record.toFields());
    record.followSitemaps = false;
    QVERIFY(WriteResumeRecord(path, record));
    QCOMPARE(ReadResumeRecord(path)->followSitemaps, std::optional<bool>(false));

    QVERIFY(WriteResumeRecord(path, sampleRecord()));
    QVERIFY(ReadResumeRecord(path));
    QVERIFY(!ReadResumeRecord(path)->checkpoint && !ReadResumeRecord(path)->moreLinks);
}

void TestResumeRecord::brokenRecordsAreRefused_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("text");
    QTest::newRow("text in the line number") << 1 << u"seven"_s;
    QTest::newRow("an empty counter") << 21 << QString();
    QTest::newRow("a depth beyond 16 bits") << 8 << u"70000"_s;
    QTest::newRow("a flag that is neither") << 10 << u"maybe"_s;
    QTest::newRow("too few fields") << -1 << QString();
}

void TestResumeRecord::brokenRecordsAreRefused()
{
    QFETCH(int, field);
    QFETCH(QString, text);
    QStringList fields = sampleRecord().toFields();
    if (field < 0)
        fields.removeLast();
    else
        fields[field] = text;
    const QString path = ResumeRecordPath(m_dir->path());
    QVERIFY(ReplaceRecordFile(path, { JoinRecordLine(fields) }));
    QVERIFY(!ReadResumeRecord(path));
    QVERIFY(!ReadResumeRecord(m_dir->path() + u"/missing.csv"_s));
}

void TestResumeRecord::replacementLeavesNoTemporaryFile()
{
    const QString path = ResumeRecordPath(m_dir->path());
    QVERIFY(WriteResumeRecord(path, sampleRecord()));
    QVERIFY(WriteResumeRecord(path, sampleRecord()));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList { u"FetchwrightRecode.csv"_s });
}

void TestResumeRecord::theRecordIsReadableByItsOwnerOnly()
{
    if (!AccessListsAreKept())
        QSKIP("Wine keeps no access lists on its Unix drives");
    const QString path = ResumeRecordPath(m_dir->path());
    // A leftover temporary file readable by all must not lend its mode to the record.
    QVERIFY(WriteFileBytes(path + u".tmp"_s, "old"));
    QVERIFY(QFile::setPermissions(path + u".tmp"_s, QFile::permissions(path + u".tmp"_s) | QFileDevice::ReadOther));
    QVERIFY(WriteResumeRecord(path, sampleRecord()));
    QVERIFY(IsOwnerOnly(path));
    AppendFiles files;
    QVERIFY(AppendResumeRecord(files, path, sampleRecord()));
    QVERIFY(IsOwnerOnly(path));
    QCOMPARE(ReadResumeRecord(path)->authString, sampleRecord().authString);
}

void TestResumeRecord::appendedRecordsReadBackAsTheLastWhole_data()
{
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<int>("expectedLine");
    QTest::newRow("the last of three appended records counts") << QByteArray() << 3;
    QTest::newRow("a line cut off by a killed process is passed over") << "\"http://h/\",\"4"_ba << 3;
    QTest::newRow("a line without its LF is passed over") << "\"http://h/\",\"4\r"_ba << 3;
}

void TestResumeRecord::appendedRecordsReadBackAsTheLastWhole()
{
    QFETCH(QByteArray, tail);
    QFETCH(int, expectedLine);
    const QString path = ResumeRecordPath(m_dir->path());
    AppendFiles files;
    ResumeRecord record = sampleRecord();
    for (int line = 1; line <= 3; ++line) {
        record.workLine = line;
        QVERIFY(AppendResumeRecord(files, path, record));
        // Each record is on disk as soon as it is appended, the file still open.
        QCOMPARE(ReadResumeRecord(path)->workLine, line);
    }
    QVERIFY(files.append(path, tail));
    QCOMPARE(ReadResumeRecord(path)->workLine, expectedLine);
}

void TestResumeRecord::aGrowingFileIsReplacedByTheLastRecordAlone()
{
    const QString path = ResumeRecordPath(m_dir->path());
    AppendFiles files;
    ResumeRecord record = sampleRecord();
    qsizetype lines = 0;
    for (int n = 1; n < 10000; ++n) {
        record.workLine = n;
        QVERIFY(AppendResumeRecord(files, path, record));
        const qsizetype now = ReadRecordLines(path)->size();
        if (now <= lines)
            break;
        lines = now;
    }
    QVERIFY2(lines > 50, qPrintable(QString::number(lines)));
    QCOMPARE(ReadRecordLines(path)->size(), 1);
    QCOMPARE(ReadResumeRecord(path)->toFields(), record.toFields());
    QVERIFY(lines * files.size(path) <= MaxAppendedResumeBytes + files.size(path));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList { u"FetchwrightRecode.csv"_s });
}

void TestResumeRecord::settlingLeavesTheLastRecordAlone()
{
    const QString path = ResumeRecordPath(m_dir->path());
    AppendFiles files;
    ResumeRecord record = sampleRecord();
    QVERIFY(AppendResumeRecord(files, path, record));
    record.currentAddress = u"http://h/top/b.gif"_s;
    QVERIFY(AppendResumeRecord(files, path, record));
    QVERIFY(files.append(path, "\"unfinished"));
    QVERIFY(SettleResumeRecord(files, path, record));
    QVERIFY(WriteResumeRecord(m_dir->filePath(u"expected.csv"_s), record));
    QCOMPARE(ReadFileBytes(path), ReadFileBytes(m_dir->filePath(u"expected.csv"_s)));
    // Appending goes on after the settled record.
    QVERIFY(AppendResumeRecord(files, path, sampleRecord()));
    QCOMPARE(ReadRecordLines(path)->size(), 2);
}

void TestResumeRecord::resumeListKeepsOrderAndDropsBySiteRoot()
{
    const QString path = ResumeListPath(m_dir->path() + u'/');
    QCOMPARE(path, m_dir->path() + u"/FetchwrightRecode.csv"_s);
    QVERIFY(WriteResumeList(
        path, { u"http://a/x/"_s, QString(), u"http://b/"_s, u"http://a/y.html"_s, u"https://a/"_s, u"http://A/"_s }));
    QCOMPARE(ReadResumeList(path).value(),
        (QStringList { u"http://a/x/"_s, u"http://b/"_s, u"http://a/y.html"_s, u"https://a/"_s, u"http://A/"_s }));
    QVERIFY(DropFromResumeList(path, u"http://a/top.html"_s));
    QCOMPARE(ReadResumeList(path).value(), (QStringList { u"http://b/"_s, u"https://a/"_s, u"http://A/"_s }));
}

void TestResumeRecord::aMissingResumeListIsWrittenEmptyByDrop()
{
    const QString path = ResumeListPath(m_dir->path() + u'/');
    QVERIFY(DropFromResumeList(path, u"http://a/"_s));
    QVERIFY(QFile::exists(path));
    QCOMPARE(ReadResumeList(path).value(), QStringList());
}

void TestResumeRecord::writeErrorsAreReported()
{
    // A folder that is a file cannot hold the record, even for a privileged user.
    QVERIFY(WriteFileBytes(m_dir->filePath(u"plain"_s), "x"));
    const QString path = ResumeRecordPath(m_dir->filePath(u"plain"_s));
    const IoStatus written = WriteResumeRecord(path, sampleRecord());
    QVERIFY(!written.ok);
    QVERIFY(written.error.contains(QDir::toNativeSeparators(path)));
    QVERIFY(!WriteResumeList(ResumeListPath(m_dir->filePath(u"plain/"_s)), { u"http://a/"_s }).ok);
}

QTEST_GUILESS_MAIN(TestResumeRecord)
#include "tst_resumerecord.moc"
