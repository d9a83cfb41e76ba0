#pragma once
// The crawl's queue: work records in two alternating files, SiteDir/FetchwrightDATA0.csv and
// DATA1.csv. Records are appended at the end and taken by line number from the front; once the
// taken part has outgrown the rest (and the take has reached line 10), the unread rest moves to
// the other file, so the queue's files never grow much beyond twice what is left to do and each
// record is copied a bounded number of times on average, however long the queue.
// Each line is a WorkRecord.

#include "platform/filesystem.h"
#include "records/workrecord.h"

#include <QFile>
#include <QString>
#include <QStringList>

inline constexpr qint32 CompactionLine = 10;

QString WorkListPath(const QString& siteDir, int index);

// With switchIt: the first list unless workList is exactly the first, then the second. Returns
// workList.
QString SwitchWorkList(QString& workList, const QString& siteDir, bool switchIt);

// Takes records from the work lists, remembering where the next line starts, so a take reads its
// own line only; a take at another list or line finds its place by reading from the list's start.
// Lists are appended to through files, which it keeps clear of lists it replaces.
class WorkListReader {
public:
    explicit WorkListReader(AppendFiles& files)
        : m_files(files)
    {
    }

    // Reads the record at line (1-based) of listPath. When the compaction rule applies, the rest of
    // the list from that record on is first copied to the other list, which becomes listPath, and
    // line becomes 1. The old list is not deleted here when retiredList is given: it is handed back
    // so the caller can delete it once the resume record names the new list, so a process killed in
    // between resumes from a list that still exists. Returns false when the list is missing or has
    // fewer lines.
    bool take(
        QString& listPath, WorkRecord& record, qint32& line, const QString& siteDir, QString* retiredList = nullptr);
    // Up to count records from line (1-based) of listPath on, without taking them; fewer at the end.
    // From the place of the next take or where the last peek stopped, it reads only the lines
    // between that place and the ones it returns.
    QList<WorkRecord> peek(const QString& listPath, qint32 line, int count);
    // Forgets the place, closing the list; before a list is replaced or cut by others.
    void close();

private:
    bool seekLine(const QString& listPath, qint32 line);
    void forgetAhead();

    AppendFiles& m_files;
    QFile m_file;
    qint32 m_line = 0; // the line that starts at m_offset in m_file
    qint64 m_offset = 0;
    // Peeks read a file of their own: sharing one, each take went back behind the peek's place and
    // lost the read buffer, so every record cost a read of the file.
    QFile m_ahead;
    qint32 m_aheadLine = 0; // the line after the last one peeked, at m_aheadOffset; 0 when unknown
    qint64 m_aheadOffset = 0;
};

// Writes one record as a line, replacing the file when overwrite is set, else appending.
IoStatus WriteWorkRecord(AppendFiles& files, const QString& listPath, const WorkRecord& record, bool overwrite);
