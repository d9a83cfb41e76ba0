#include "records/recordfile.h"
#include "records/recordline.h"
#include "records/worklists.h"

#include "support/tempsettings.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

WorkRecord workRecord(int n)
{
    WorkRecord record;
    record.address = u"http://h/%1.gif"_s.arg(n);
    record.depth = u"1"_s;
    record.referrerChain = u"http://h/\thttp://h/%1.gif"_s.arg(n);
    record.contentLength = u"-1"_s;
    record.entityTag = u"\"etag-%1\""_s.arg(n);
    return record;
}

} // namespace

class TestWorkLists : public QObject {
    Q_OBJECT
private slots:
    void init();
    void switchAlternatesFromEmpty();
    void takesRecordsInOrderUntilExhausted();
    void aListOneLineShortIsExhausted();
    void compactionWaitsUntilTheTakenPartOutgrowsTheRest_data();
    void compactionWaitsUntilTheTakenPartOutgrowsTheRest();
    void compactionKeepsTheOldListUntilTheCallerRetiresIt();
    void aQueueOfManyRecordsIsTakenExactlyOnceEach();
    void aLongQueueIsCopiedNoMoreThanItsOwnSizeInAll();
    void aTakeAtAnotherLineFindsItsPlaceFromTheStart();
    void aRecordsFieldsKeepTheirPlaces();
    void aShortLineReadsAsEmptyFields();
    void overwriteStartsTheListAfresh();
    void aMissingListIsExhausted();

private:
    void queue(const QString& list, int from, int to);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_site;
    AppendFiles m_files;
};

void TestWorkLists::init()
{
    m_files.closeAll();
    m_dir = std::make_unique<QTemporaryDir>();
    m_site = m_dir->path() + u"/h"_s;
    QVERIFY(QDir().mkpath(m_site));
}

void TestWorkLists::queue(const QString& list, int from, int to)
{
    for (int n = from; n <= to; ++n)
        QVERIFY(WriteWorkRecord(m_files, list, workRecord(n), false));
}

void TestWorkLists::switchAlternatesFromEmpty()
{
    QString list;
    QCOMPARE(SwitchWorkList(list, m_site, true), m_site + u"/FetchwrightDATA0.csv"_s);
    QCOMPARE(SwitchWorkList(list, m_site, true), m_site + u"/FetchwrightDATA1.csv"_s);
    QCOMPARE(SwitchWorkList(list, m_site, true), m_site + u"/FetchwrightDATA0.csv"_s);
    QCOMPARE(SwitchWorkList(list, m_site, false), m_site + u"/FetchwrightDATA0.csv"_s);
}

void TestWorkLists::takesRecordsInOrderUntilExhausted()
{
    QString list = WorkListPath(m_site, 0);
    QVERIFY(WriteWorkRecord(m_files, list, workRecord(1), true));
    queue(list, 2, 3);
    WorkListReader reader(m_files);
    qint32 line = 1;
    WorkRecord record;
    for (int n = 1; n <= 3; ++n) {
        QVERIFY(reader.take(list, record, line, m_site));
        QCOMPARE(record, workRecord(n));
        ++line;
    }
    QVERIFY(!reader.take(list, record, line, m_site));
    // A record appended after the queue ran dry is found by the next take.
    queue(list, 4, 4);
    QVERIFY(reader.take(list, record, line, m_site));
    QCOMPARE(record, workRecord(4));
}

void TestWorkLists::aListOneLineShortIsExhausted()
{
    QString list = WorkListPath(m_site, 0);
    queue(list, 1, 11);
    qint32 line = 12;
    WorkRecord record;
    QVERIFY(!WorkListReader(m_files).take(list, record, line, m_site));
    QCOMPARE(list, WorkListPath(m_site, 0));
}

void TestWorkLists::compactionWaitsUntilTheTakenPartOutgrowsTheRest_data()
{
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("line");
    QTest::addColumn<bool>("compacted");
    QTest::newRow("line 9 of 12 is too early however much is taken") << 12 << 9 << false;
    QTest::newRow("line 10 of 30 leaves more than it took") << 30 << 10 << false;
    QTest::newRow("line 10 of 19 leaves a little more than it took") << 19 << 10 << false;
    QTest::newRow("line 10 of 17 has taken a little more than it leaves") << 17 << 10 << true;
    QTest::newRow("line 10 of 14 has taken more than it leaves") << 14 << 10 << true;
    QTest::newRow("line 16 of 29 has taken more than it leaves") << 29 << 16 << true;
}

void TestWorkLists::compactionWaitsUntilTheTakenPartOutgrowsTheRest()
{
    QFETCH(int, records);
    QFETCH(int, line);
    QFETCH(bool, compacted);
    QString list = WorkListPath(m_site, 0);
    queue(list, 1, records);
    qint32 at = line;
    WorkRecord record;
    WorkListReader reader(m_files);
    QVERIFY(reader.take(list, record, at, m_site));
    QCOMPARE(record, workRecord(line));
    QCOMPARE(list, WorkListPath(m_site, compacted ? 1 : 0));
    QCOMPARE(at, compacted ? 1 : line);
    QCOMPARE(QFile::exists(WorkListPath(m_site, 0)), !compacted);
    const QStringList lines = ReadRecordLines(list).value();
    QCOMPARE(lines.size(), compacted ? records - line + 1 : records);
    QCOMPARE(SplitRecordLine(lines.first()), workRecord(compacted ? line : 1).toFields());
    ++at;
    QVERIFY(reader.take(list, record, at, m_site));
    QCOMPARE(record, workRecord(line + 1));
    // The new list takes appended records where the queue goes on.
    queue(list, records + 1, records + 1);
    QCOMPARE(SplitRecordLine(ReadRecordLines(list).value().last()), workRecord(records + 1).toFields());
}

void TestWorkLists::compactionKeepsTheOldListUntilTheCallerRetiresIt()
{
    QString list = WorkListPath(m_site, 0);
    queue(list, 1, 12);
    const QByteArray before = ReadFileBytes(list);
    qint32 line = 11;
    WorkRecord record;
    QString retired;
    QVERIFY(WorkListReader(m_files).take(list, record, line, m_site, &retired));
    QCOMPARE(retired, WorkListPath(m_site, 0));
    // Until the resume record names the new list, the old one must still hold every record:
    // a process killed here resumes from it at line 11 and loses nothing.
    QCOMPARE(ReadFileBytes(retired), before);
    QString resumedList = retired;
    qint32 resumedLine = 11;
    QVERIFY(WorkListReader(m_files).take(resumedList, record, resumedLine, m_site));
    QCOMPARE(record, workRecord(11));
}

void TestWorkLists::aQueueOfManyRecordsIsTakenExactlyOnceEach()
{
    QString list;
    SwitchWorkList(list, m_site, true);
    QVERIFY(WriteWorkRecord(m_files, list, workRecord(0), true));
    WorkListReader reader(m_files);
    qint32 line = 1;
    WorkRecord record;
    QList<int> seen;
    int next = 1;
    int peekedThrough = 0;
    while (reader.take(list, record, line, m_site)) {
        ++line;
        const int taken = record.address.section(u'/', 3).section(u'.', 0, 0).toInt();
        seen.append(taken);
        // Peeking on from where the last peek stopped, as the look-ahead does, across compactions,
        // sees the records the takes then take.
        peekedThrough = std::max(peekedThrough, taken);
        for (const WorkRecord& ahead : reader.peek(list, line + (peekedThrough - taken), taken + 4 - peekedThrough))
            QCOMPARE(ahead, workRecord(++peekedThrough));
        // Every taken record queues two more until 100 have been queued, as pages do.
        for (int k = 0; k < 2 && next < 100; ++k)
            QVERIFY(WriteWorkRecord(m_files, list, workRecord(next++), false));
    }
    QCOMPARE(seen.size(), 100);
    for (int n = 0; n < 100; ++n)
        QCOMPARE(seen[n], n);
}

void TestWorkLists::aLongQueueIsCopiedNoMoreThanItsOwnSizeInAll()
{
    QString list = WorkListPath(m_site, 0);
    const int records = 3000;
    queue(list, 1, records);
    const qint64 queued = QFileInfo(list).size();
    WorkListReader reader(m_files);
    qint32 line = 1;
    WorkRecord record;
    qint64 copied = 0;
    int compactions = 0;
    for (int n = 1; n <= records; ++n) {
        QString before = list;
        QVERIFY(reader.take(list, record, line, m_site));
        QCOMPARE(record, workRecord(n));
        if (list != before) {
            copied += QFileInfo(list).size();
            ++compactions;
        }
        ++line;
    }
    QVERIFY(!reader.take(list, record, line, m_site));
    QVERIFY2(copied <= queued, qPrintable(u"%1 bytes copied for a queue of %2"_s.arg(copied).arg(queued)));
    QVERIFY(compactions >= 5);
}

void TestWorkLists::aTakeAtAnotherLineFindsItsPlaceFromTheStart()
{
    QString list = WorkListPath(m_site, 0);
    queue(list, 1, 8);
    WorkListReader reader(m_files);
    WorkRecord record;
    qint32 line = 2;
    QVERIFY(reader.take(list, record, line, m_site));
    QCOMPARE(record, workRecord(2));
    line = 6; // a resume or another caller picks the place
    QVERIFY(reader.take(list, record, line, m_site));
    QCOMPARE(record, workRecord(6));
    line = 1;
    QVERIFY(reader.take(list, record, line, m_site));
    QCOMPARE(record, workRecord(1));
}

void TestWorkLists::aRecordsFieldsKeepTheirPlaces()
{
    const QStringList fields { u"http://h/a.gif"_s, u"p"_s, u"lp"_s, u"http://h/"_s, u"http://h/"_s, u"2"_s,
        u"http://h/\thttp://h/a.gif"_s, u"image/gif"_s, u"120"_s, u"\"e\""_s, u"bytes"_s };
    const WorkRecord record = WorkRecord::fromFields(fields);
    QCOMPARE(record.address, u"http://h/a.gif"_s);
    QCOMPARE(record.pageText, u"p"_s);
    QCOMPARE(record.lowerPageText, u"lp"_s);
    QCOMPARE(record.directoryAddress, u"http://h/"_s);
    QCOMPARE(record.siteRoot, u"http://h/"_s);
    QCOMPARE(record.depthNumber(), qint16(2));
    QCOMPARE(record.referrerChain, u"http://h/\thttp://h/a.gif"_s);
    QCOMPARE(record.contentType, u"image/gif"_s);
    QCOMPARE(record.contentLength, u"120"_s);
    QCOMPARE(record.entityTag, u"\"e\""_s);
    QCOMPARE(record.acceptRanges, u"bytes"_s);
    QCOMPARE(record.toFields(), fields);
}

void TestWorkLists::aShortLineReadsAsEmptyFields()
{
    const WorkRecord record
        = WorkRecord::fromFields({ u"http://h/a.gif"_s, QString(), QString(), QString(), QString(), u"x"_s });
    QCOMPARE(record.depthNumber(), qint16(0));
    QCOMPARE(record.toFields().size(), WorkRecord::FieldCount);
    QCOMPARE(record.toFields().last(), QString());
}

void TestWorkLists::overwriteStartsTheListAfresh()
{
    const QString list = WorkListPath(m_site, 0);
    QVERIFY(WriteWorkRecord(m_files, list, workRecord(1), false));
    QVERIFY(WriteWorkRecord(m_files, list, workRecord(2), true));
    QVERIFY(WriteWorkRecord(m_files, list, workRecord(3), false));
    QCOMPARE(ReadRecordLines(list).value(),
        (QStringList { JoinRecordLine(workRecord(2).toFields()), JoinRecordLine(workRecord(3).toFields()) }));
}

void TestWorkLists::aMissingListIsExhausted()
{
    QString list = WorkListPath(m_site, 1);
    qint32 line = 1;
    WorkRecord record;
    QVERIFY(!WorkListReader(m_files).take(list, record, line, m_site));
}

QTEST_GUILESS_MAIN(TestWorkLists)
#include "tst_worklists.moc"
