// Record lines, the resume record, the resume list and the work lists, each written to a file and
// read back: whatever text the fields hold, the reader gives back exactly what was written.

#include "records/recordfile.h"
#include "records/recordline.h"
#include "records/resumerecord.h"
#include "records/worklists.h"

#include "fuzzsupport.h"

#include <QFile>

using namespace Qt::StringLiterals;

namespace {

QStringList fuzzedFields(FuzzedDataProvider& data, int minimum, int maximum)
{
    QStringList fields;
    const int count = data.ConsumeIntegralInRange(minimum, maximum);
    for (int i = 0; i < count; ++i)
        fields.append(FuzzedText(data, 48));
    return fields;
}

QString describe(const QStringList& fields)
{
    return JoinRecordLine(fields);
}

void recordLines(FuzzedDataProvider& data, const QString& folder)
{
    const QStringList fields = fuzzedFields(data, 1, 12);
    const QString line = JoinRecordLine(fields);
    FUZZ_CHECK(SplitRecordLine(line) == fields, describe(fields));

    const QString path = folder + u"/lines.csv"_s;
    FUZZ_CHECK(bool(AppendRecordLines(path, { line, line })), path);
    const std::optional<QStringList> lines = ReadRecordLines(path);
    FUZZ_CHECK(lines && lines->size() == 2, describe(fields));
    FUZZ_CHECK(SplitRecordLine(lines->at(0)) == fields && SplitRecordLine(lines->at(1)) == fields, describe(fields));
}

void resumeRecord(FuzzedDataProvider& data, const QString& folder)
{
    ResumeRecord r;
    r.topAddr = FuzzedText(data, 48);
    r.workLine = data.ConsumeIntegral<qint32>();
    r.workList = FuzzedText(data, 48);
    r.accessType = data.ConsumeIntegral<qint32>();
    r.proxy = FuzzedText(data, 16);
    r.remotePort = data.ConsumeIntegral<qint16>();
    r.requestTimeout = data.ConsumeIntegral<qint32>();
    r.saveDir = FuzzedText(data, 48);
    r.depthLimit = data.ConsumeIntegral<qint16>();
    r.searchType = data.ConsumeIntegral<qint16>();
    r.noDirTree = data.ConsumeBool();
    r.skipSameName = data.ConsumeBool();
    r.downloadExts = FuzzedText(data, 32);
    r.onDownFileNames = FuzzedText(data, 32);
    r.notDownFileNames = FuzzedText(data, 32);
    r.numberDuplicates = data.ConsumeBool();
    r.bufferSize = data.ConsumeIntegral<qint64>();
    r.curDepth = data.ConsumeIntegral<qint16>();
    r.currentAddress = FuzzedText(data, 48);
    for (qint32& counter : r.counters.values)
        counter = data.ConsumeIntegral<qint32>();
    r.maxSize = data.ConsumeIntegral<qint64>();
    r.minSize = data.ConsumeIntegral<qint64>();
    r.authString = FuzzedText(data, 32);
    r.userAgent = FuzzedText(data, 32);
    if (data.ConsumeBool()) {
        ResumeCheckpoint c;
        c.stage = ResumeCheckpoint::Stage(data.ConsumeIntegralInRange(0, 2));
        c.workListSize = data.ConsumeIntegral<qint64>();
        c.detectedLogSize = data.ConsumeIntegral<qint64>();
        c.downloadLogSize = data.ConsumeIntegral<qint64>();
        c.failureReportSize = data.ConsumeIntegral<qint64>();
        c.errorLogSize = data.ConsumeIntegral<qint64>();
        for (qint32& counter : c.counters.values)
            counter = data.ConsumeIntegral<qint32>();
        c.pendingPath = FuzzedText(data, 48);
        r.checkpoint = c;
    }

    const QString path = ResumeRecordPath(folder);
    FUZZ_CHECK(bool(WriteResumeRecord(path, r)), path);
    const std::optional<ResumeRecord> back = ReadResumeRecord(path);
    FUZZ_CHECK(back && back->toFields() == r.toFields(), describe(r.toFields()));

    // A record appended after it is the one that counts; settled, it stands alone.
    AppendFiles files;
    ResumeRecord next = r;
    next.currentAddress = FuzzedText(data, 32);
    FUZZ_CHECK(bool(AppendResumeRecord(files, path, next)), path);
    const std::optional<ResumeRecord> last = ReadResumeRecord(path);
    FUZZ_CHECK(last && last->toFields() == next.toFields(), describe(next.toFields()));
    FUZZ_CHECK(bool(SettleResumeRecord(files, path, next)), path);
    const std::optional<QStringList> lines = ReadRecordLines(path);
    FUZZ_CHECK(lines && lines->size() == 1 && SplitRecordLine(lines->first()) == next.toFields(), path);

    // The resume list keeps every non-empty address, in order.
    const QStringList addresses = fuzzedFields(data, 0, 6);
    const QString listPath = ResumeListPath(folder + u'/');
    FUZZ_CHECK(bool(WriteResumeList(listPath, addresses)), listPath);
    QStringList kept;
    for (const QString& address : addresses)
        if (!address.isEmpty())
            kept.append(address);
    FUZZ_CHECK(ReadResumeList(listPath) == kept, describe(addresses));
}

void workLists(FuzzedDataProvider& data, const QString& folder)
{
    AppendFiles files;
    WorkListReader reader(files);
    QList<WorkRecord> records;
    const int count = data.ConsumeIntegralInRange(0, 24);
    QString listPath = WorkListPath(folder, data.ConsumeBool() ? 0 : 1);
    for (int i = 0; i < count; ++i) {
        QStringList fields(WorkRecord::FieldCount);
        for (QString& field : fields)
            if (data.ConsumeBool())
                field = FuzzedText(data, 24);
        const WorkRecord record = WorkRecord::fromFields(fields);
        FUZZ_CHECK(record.toFields() == fields, describe(fields));
        records.append(record);
        FUZZ_CHECK(bool(WriteWorkRecord(files, listPath, record, i == 0)), listPath);
    }

    // Taken one after another, through the moves to the other list.
    qint32 line = 1;
    for (const WorkRecord& expected : records) {
        WorkRecord taken;
        FUZZ_CHECK(reader.take(listPath, taken, line, folder), describe(expected.toFields()));
        FUZZ_CHECK(taken == expected, describe(taken.toFields()) + u" instead of "_s + describe(expected.toFields()));
        ++line;
    }
    WorkRecord beyond;
    FUZZ_CHECK(count == 0 || !reader.take(listPath, beyond, line, folder), describe(beyond.toFields()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    FuzzedDataProvider data(bytes, size);
    const QString folder = ScratchDir() + u"/records"_s;
    EmptyFolder(folder);
    switch (data.ConsumeIntegralInRange(0, 2)) {
    case 0:
        recordLines(data, folder);
        break;
    case 1:
        resumeRecord(data, folder);
        break;
    default:
        workLists(data, folder);
        break;
    }
    return 0;
}
