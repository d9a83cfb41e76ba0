#include "records/recordfile.h"
#include "records/recordline.h"
#include "records/worklists.h"

#include "support/tempsettings.h"

#include <QFile>
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
    void compactionAtLineTenMovesTheRestToTheOtherList();
    void compactionKeepsTheOldListUntilTheCallerRetiresIt();
    void aQueueOfManyRecordsIsTakenExactlyOnceEach();
    void aRecordsFieldsKeepTheirPlaces();
    void aShortLineReadsAsEmptyFields();
    void overwriteStartsTheListAfresh();
    void pageLinksAreAppendedInOrder();
    void aMissingListIsExhausted();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_site;
};

void TestWorkLists::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_site = m_dir->path() + u"/h"_s;
    QVERIFY(QDir().mkpath(m_site));
}

void TestWorkLists::switchAlternatesFromEmpty()
{
    QString list;
    QCOMPARE(SwitchWorkList(list, m_site, true), m_site + u"/FetchwrightDATA0.csv"_s);
    QCOMPARE(SwitchWorkList(list, m_site, true), m_site + u"/FetchwrightDATA1.csv"_s);
    QCOMPARE(SwitchWorkList(list, m_site, true), m_site + u"/FetchwrightDATA0.csv"_s);
    QCOMPARE(SwitchWorkList(list, m_site, false), m_site + u"/FetchwrightDATA0.csv"_s);
    QCOMPARE(PageLinkListPath(m_site), m_site + u"/FetchwrightDATA00.csv"_s);
}

void TestWorkLists::takesRecordsInOrderUntilExhausted()
{
    QString list = WorkListPath(m_site, 0);
    for (int n = 1; n <= 3; ++n)
        QVERIFY(WriteWorkRecord(list, workRecord(n), n == 1));
    qint32 line = 1;
    WorkRecord record;
    for (int n = 1; n <= 3; ++n) {
        QVERIFY(TakeWorkRecord(list, record, line, m_site));
        QCOMPARE(record, workRecord(n));
        ++line;
    }
    QVERIFY(!TakeWorkRecord(list, record, line, m_site));
}

void TestWorkLists::aListOneLineShortIsExhausted()
{
    QString list = WorkListPath(m_site, 0);
    for (int n = 1; n <= 11; ++n)
        QVERIFY(WriteWorkRecord(list, workRecord(n), false));
    qint32 line = 12;
    WorkRecord record;
    QVERIFY(!TakeWorkRecord(list, record, line, m_site));
    QCOMPARE(list, WorkListPath(m_site, 0));
}

void TestWorkLists::compactionAtLineTenMovesTheRestToTheOtherList()
{
    QString list = WorkListPath(m_site, 0);
    for (int n = 1; n <= 14; ++n)
        QVERIFY(WriteWorkRecord(list, workRecord(n), false));
    qint32 line = 10;
    WorkRecord record;
    QVERIFY(TakeWorkRecord(list, record, line, m_site));
    QCOMPARE(record, workRecord(10));
    QCOMPARE(list, WorkListPath(m_site, 1));
    QCOMPARE(line, 1);
    QVERIFY(!QFile::exists(WorkListPath(m_site, 0)));
    const QStringList moved = ReadRecordLines(list).value();
    QCOMPARE(moved.size(), 5);
    QCOMPARE(SplitRecordLine(moved.first()), workRecord(10).toFields());
    ++line;
    QVERIFY(TakeWorkRecord(list, record, line, m_site));
    QCOMPARE(record, workRecord(11));
}

void TestWorkLists::compactionKeepsTheOldListUntilTheCallerRetiresIt()
{
    QString list = WorkListPath(m_site, 0);
    for (int n = 1; n <= 12; ++n)
        QVERIFY(WriteWorkRecord(list, workRecord(n), false));
    const QByteArray before = ReadFileBytes(list);
    qint32 line = 11;
    WorkRecord record;
    QString retired;
    QVERIFY(TakeWorkRecord(list, record, line, m_site, &retired));
    QCOMPARE(retired, WorkListPath(m_site, 0));
    // Until the resume record names the new list, the old one must still hold every record:
    // a process killed here resumes from it at line 11 and loses nothing.
    QCOMPARE(ReadFileBytes(retired), before);
    QString resumedList = retired;
    qint32 resumedLine = 11;
    QVERIFY(TakeWorkRecord(resumedList, record, resumedLine, m_site));
    QCOMPARE(record, workRecord(11));
}

void TestWorkLists::aQueueOfManyRecordsIsTakenExactlyOnceEach()
{
    QString list;
    SwitchWorkList(list, m_site, true);
    QVERIFY(WriteWorkRecord(list, workRecord(0), true));
    qint32 line = 1;
    WorkRecord record;
    QList<int> seen;
    int next = 1;
    while (TakeWorkRecord(list, record, line, m_site)) {
        ++line;
        seen.append(record.address.section(u'/', 3).section(u'.', 0, 0).toInt());
        // Every taken record queues two more until 100 have been queued, as pages do.
        for (int k = 0; k < 2 && next < 100; ++k)
            QVERIFY(WriteWorkRecord(list, workRecord(next++), false));
    }
    QCOMPARE(seen.size(), 100);
    for (int n = 0; n < 100; ++n)
        QCOMPARE(seen[n], n);
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
    QVERIFY(WriteWorkRecord(list, workRecord(1), false));
    QVERIFY(WriteWorkRecord(list, workRecord(2), true));
    QCOMPARE(ReadRecordLines(list).value(), QStringList { JoinRecordLine(workRecord(2).toFields()) });
}

void TestWorkLists::pageLinksAreAppendedInOrder()
{
    const QString list = WorkListPath(m_site, 0);
    const QString page = PageLinkListPath(m_site);
    QVERIFY(WriteWorkRecord(list, workRecord(1), true));
    QVERIFY(WriteWorkRecord(page, workRecord(2), true));
    QVERIFY(WriteWorkRecord(page, workRecord(3), false));
    QVERIFY(AppendListFile(page, list));
    const QStringList lines = ReadRecordLines(list).value();
    QCOMPARE(lines.size(), 3);
    QCOMPARE(SplitRecordLine(lines[2]), workRecord(3).toFields());
    QVERIFY(!AppendListFile(m_site + u"/none.csv"_s, list));
}

void TestWorkLists::aMissingListIsExhausted()
{
    QString list = WorkListPath(m_site, 1);
    qint32 line = 1;
    WorkRecord record;
    QVERIFY(!TakeWorkRecord(list, record, line, m_site));
}

QTEST_GUILESS_MAIN(TestWorkLists)
#include "tst_worklists.moc"
