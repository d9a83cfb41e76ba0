#include "records/worklists.h"

#include "productnames.h"
#include "records/recordfile.h"
#include "records/recordline.h"
#include "storage/localpath.h"

using namespace Qt::StringLiterals;

QString WorkListPath(const QString& siteDir, int index)
{
    return siteDir + u'/' + ProductName + u"DATA"_s + QString::number(index) + u".csv"_s;
}

QString SwitchWorkList(QString& workList, const QString& siteDir, bool switchIt)
{
    if (switchIt) {
        const QString first = WorkListPath(siteDir, 0);
        workList = workList != first ? first : WorkListPath(siteDir, 1);
    }
    return workList;
}

bool WorkListReader::seekLine(const QString& listPath, qint32 line)
{
    if (m_file.isOpen() && m_file.fileName() == listPath && m_line == line)
        return m_file.pos() == m_offset || m_file.seek(m_offset);
    m_file.close();
    forgetAhead();
    m_file.setFileName(listPath);
    if (!m_file.open(QIODevice::ReadOnly))
        return false;
    for (qint32 i = 1; i < line; ++i) {
        if (m_file.readLine().isEmpty())
            return false;
    }
    m_line = line;
    m_offset = m_file.pos();
    return true;
}

bool WorkListReader::take(
    QString& listPath, WorkRecord& record, qint32& line, const QString& siteDir, QString* retiredList)
{
    if (line < 1 || !seekLine(listPath, line))
        return false;
    const QByteArray bytes = m_file.readLine();
    if (bytes.isEmpty())
        return false;
    record = WorkRecord::fromFields(SplitRecordLine(DecodeRecordLines(bytes).value(0)));
    const qint64 start = m_offset;
    m_offset = m_file.pos();
    m_line = line + 1;

    const qint64 size = m_files.size(listPath);
    if (line < CompactionLine || start < size - start)
        return true;
    if (!m_file.seek(start))
        return true;
    const QByteArray rest = m_file.readAll();
    const QString oldList = listPath;
    QString newList = listPath;
    SwitchWorkList(newList, siteDir, true);
    m_files.close(newList);
    // A list that cannot be written leaves the queue where it is; the take still succeeds.
    if (!ReplaceFileAtomically(newList, rest)) {
        m_file.seek(m_offset);
        return true;
    }
    m_files.close(oldList);
    m_file.close();
    forgetAhead();
    listPath = newList;
    line = 1;
    if (retiredList)
        *retiredList = oldList;
    else
        DeleteFileQuietly(oldList);
    return true;
}

QList<WorkRecord> WorkListReader::peek(const QString& listPath, qint32 line, int count)
{
    QList<WorkRecord> records;
    if (line < 1)
        return records;
    // The nearest known place at or before line: the next take's, or where the last peek stopped.
    qint32 at = 0;
    qint64 offset = 0;
    if (m_file.isOpen() && m_file.fileName() == listPath) {
        if (m_line >= 1 && m_line <= line) {
            at = m_line;
            offset = m_offset;
        }
        if (m_aheadLine > at && m_aheadLine <= line) {
            at = m_aheadLine;
            offset = m_aheadOffset;
        }
    }
    if (at == 0) {
        if (!seekLine(listPath, line))
            return records;
        at = line;
        offset = m_offset;
    }
    if (!m_ahead.isOpen() || m_ahead.fileName() != listPath) {
        m_ahead.close();
        m_ahead.setFileName(listPath);
        if (!m_ahead.open(QIODevice::ReadOnly))
            return records;
    }
    if (m_ahead.pos() != offset && !m_ahead.seek(offset))
        return records;
    // A last line still being written has no line end yet and is not a record to go by.
    for (; at < line; ++at)
        if (!m_ahead.readLine().endsWith('\n'))
            return records;
    m_aheadLine = at;
    m_aheadOffset = m_ahead.pos();
    while (records.size() < count) {
        const QByteArray bytes = m_ahead.readLine();
        if (!bytes.endsWith('\n'))
            break;
        records.append(WorkRecord::fromFields(SplitRecordLine(DecodeRecordLines(bytes).value(0))));
        ++m_aheadLine;
        m_aheadOffset = m_ahead.pos();
    }
    return records;
}

void WorkListReader::forgetAhead()
{
    m_ahead.close();
    m_aheadLine = 0;
}

void WorkListReader::close()
{
    m_file.close();
    forgetAhead();
}

IoStatus WriteWorkRecord(AppendFiles& files, const QString& listPath, const WorkRecord& record, bool overwrite)
{
    const QStringList lines { JoinRecordLine(record.toFields()) };
    if (!overwrite)
        return AppendRecordLines(files, listPath, lines);
    files.close(listPath);
    return ReplaceRecordFile(listPath, lines);
}
