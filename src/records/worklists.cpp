#include "records/worklists.h"

#include "productnames.h"
#include "records/recordfile.h"
#include "records/recordline.h"
#include "storage/localpath.h"

#include <QFile>

using namespace Qt::StringLiterals;

namespace {

// Offset of the start of line number line (1-based), or -1 when the bytes have fewer lines.
qsizetype lineOffset(const QByteArray& bytes, qint32 line)
{
    qsizetype offset = 0;
    for (qint32 i = 1; i < line; ++i) {
        const qsizetype end = bytes.indexOf('\n', offset);
        if (end < 0)
            return -1;
        offset = end + 1;
    }
    return offset < bytes.size() ? offset : -1;
}

QString lineAt(const QByteArray& bytes, qsizetype offset)
{
    qsizetype end = bytes.indexOf('\n', offset);
    if (end < 0)
        end = bytes.size();
    return DecodeRecordLines(bytes.mid(offset, end - offset)).value(0);
}

} // namespace

QString WorkListPath(const QString& siteDir, int index)
{
    return siteDir + u'/' + ProductName + u"DATA"_s + QString::number(index) + u".csv"_s;
}

QString PageLinkListPath(const QString& siteDir)
{
    return siteDir + u'/' + ProductName + u"DATA00.csv"_s;
}

QString SwitchWorkList(QString& workList, const QString& siteDir, bool switchIt)
{
    if (switchIt) {
        const QString first = WorkListPath(siteDir, 0);
        workList = workList != first ? first : WorkListPath(siteDir, 1);
    }
    return workList;
}

bool TakeWorkRecord(QString& listPath, WorkRecord& record, qint32& line, const QString& siteDir, QString* retiredList)
{
    if (line < 1)
        return false;
    QFile file(listPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const bool compacting = line >= CompactionLine;
    QByteArray bytes;
    if (compacting) {
        bytes = file.readAll();
    } else {
        for (qint32 i = 0; i < line && !file.atEnd(); ++i)
            bytes += file.readLine();
    }
    file.close();

    const qsizetype offset = lineOffset(bytes, line);
    if (offset < 0)
        return false;
    record = WorkRecord::fromFields(SplitRecordLine(lineAt(bytes, offset)));

    if (compacting) {
        const QString oldList = listPath;
        QString newList = listPath;
        SwitchWorkList(newList, siteDir, true);
        // A list that cannot be written leaves the queue where it is; the take still succeeds.
        if (ReplaceFileAtomically(newList, bytes.mid(offset))) {
            listPath = newList;
            line = 1;
            if (retiredList)
                *retiredList = oldList;
            else
                DeleteFileQuietly(oldList);
        }
    }
    return true;
}

QList<WorkRecord> PeekWorkRecords(const QString& listPath, qint32 line, int count)
{
    QList<WorkRecord> records;
    QFile file(listPath);
    if (line < 1 || !file.open(QIODevice::ReadOnly))
        return records;
    for (qint32 i = 1; records.size() < count; ++i) {
        const QByteArray bytes = file.readLine();
        // A last line still being written has no line end yet and is not a record to go by.
        if (!bytes.endsWith('\n'))
            break;
        if (i >= line)
            records.append(WorkRecord::fromFields(SplitRecordLine(DecodeRecordLines(bytes).value(0))));
    }
    return records;
}

IoStatus WriteWorkRecord(const QString& listPath, const WorkRecord& record, bool overwrite)
{
    const QStringList lines { JoinRecordLine(record.toFields()) };
    return overwrite ? ReplaceRecordFile(listPath, lines) : AppendRecordLines(listPath, lines);
}

IoStatus AppendListFile(const QString& from, const QString& to)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return IoStatus::failure(from, source.errorString());
    QByteArray bytes = source.readAll();
    source.close();
    if (!bytes.isEmpty() && !bytes.endsWith('\n'))
        bytes += "\r\n";
    return AppendToFile(to, bytes);
}
