#pragma once
// The crawl's queue: work records in two alternating files, SiteDir/FetchwrightDATA0.csv and
// DATA1.csv. Records are appended at the end and taken by line number from the front; when the
// take reaches line 10 the unread rest moves to the other file, so a take reads at most ten lines.
// Each line is a WorkRecord.

#include "platform/filesystem.h"
#include "records/workrecord.h"

#include <QString>
#include <QStringList>

inline constexpr qint32 CompactionLine = 10;

QString WorkListPath(const QString& siteDir, int index);
QString PageLinkListPath(const QString& siteDir);

// With switchIt: the first list unless workList is exactly the first, then the second. Returns
// workList.
QString SwitchWorkList(QString& workList, const QString& siteDir, bool switchIt);

// Reads the record at line (1-based) of listPath. At line 10 or later the rest of the list from
// that record on is first copied to the other list, which becomes listPath, and line becomes 1.
// The old list is not deleted here when retiredList is given: it is handed back so the caller can
// delete it once the resume record names the new list, so a process killed in between resumes
// from a list that still exists. Returns false when the list is missing or has fewer lines.
bool TakeWorkRecord(
    QString& listPath, WorkRecord& record, qint32& line, const QString& siteDir, QString* retiredList = nullptr);

// Up to count records from line (1-based) of listPath on, without taking them; fewer at the end.
QList<WorkRecord> PeekWorkRecords(const QString& listPath, qint32 line, int count);

// Writes one record as a line, replacing the file when overwrite is set, else appending.
IoStatus WriteWorkRecord(const QString& listPath, const WorkRecord& record, bool overwrite);

// Appends every line of from to to, byte for byte (the page's new links joining the queue).
IoStatus AppendListFile(const QString& from, const QString& to);
