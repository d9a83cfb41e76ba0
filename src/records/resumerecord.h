#pragma once
// The resume record, SiteDir/FetchwrightRecode.csv: one line of 29 fields holding everything a
// stopped crawl needs to continue. A run appends it anew for every record it takes, each time one
// write, and replaces the file by the last record alone when it grows past 64 KiB and when the run
// ends, so a replacement (a rename, which file systems make costly) is rare. It holds the Basic
// credential (field 27), so it is readable by its owner only. Numbers are decimal,
// flags "True" or "False". The resume list, SaveDir/FetchwrightRecode.csv, names one top address
// per line for every site of that save folder with an unfinished run.

#include "platform/filesystem.h"
#include "records/crawlcounters.h"

#include <QString>
#include <QStringList>
#include <array>
#include <optional>

inline constexpr int ResumeFieldCount = 29;
// Fields that hold the six counters, in the order of Counter.
enum ResumeField : int {
    FieldDetectCount = 19,
    FieldDownloadCount = 20,
    FieldCheckedCount = 21,
    FieldFailureCount = 22,
    FieldPlannedCount = 23,
    FieldErrorResponseCount = 24,
};
constexpr int ResumeFieldOf(Counter counter)
{
    return FieldDetectCount + int(counter);
}

// Fields after the 29 that let a resume undo the unfinished part of the record in progress, so a
// run stopped or killed at any instant resumes to the same end result: the sizes of the work list
// and the logs and the counters when the record was taken, and the file it was writing.
inline constexpr int FieldPendingPath = 41;
inline constexpr int CheckpointFieldCount = 13;
// After the checkpoint, so written only with one: whether the crawl looks for more links (style
// sheets, srcset...). A record without it is of a version that did not.
inline constexpr int FieldMoreLinks = 42;
// After it: whether the pages of the site's sitemaps join the crawl. A record without it is of a
// version that did not read sitemaps.
inline constexpr int FieldFollowSitemaps = 43;

struct ResumeCheckpoint {
    enum Stage { Seeding, Taken, Done };
    Stage stage = Taken;
    qint64 workListSize = 0;
    qint64 detectedLogSize = 0;
    qint64 downloadLogSize = 0;
    qint64 failureReportSize = 0;
    qint64 errorLogSize = 0;
    CrawlCounters counters;
    QString pendingPath;
};

struct ResumeRecord {
    QString topAddr; // 0
    qint32 workLine = 0; // 1: the line of the record in progress
    QString workList; // 2
    qint32 accessType = 0; // 3
    QString proxy; // 4
    qint16 remotePort = 0; // 5
    qint32 requestTimeout = 0; // 6
    QString saveDir; // 7
    qint16 depthLimit = 0; // 8
    qint16 searchType = 0; // 9
    bool noDirTree = false; // 10
    bool skipSameName = false; // 11
    QString downloadExts; // 12
    QString onDownFileNames; // 13
    QString notDownFileNames; // 14
    bool numberDuplicates = false; // 15
    qint64 bufferSize = 0; // 16
    qint16 curDepth = 0; // 17
    QString currentAddress; // 18
    CrawlCounters counters; // 19-24
    qint64 maxSize = 0; // 25
    qint64 minSize = 0; // 26
    QString authString; // 27
    QString userAgent; // 28
    std::optional<ResumeCheckpoint> checkpoint; // 29 to 41, absent in records of older versions
    std::optional<bool> moreLinks; // 42, absent in records of older versions
    std::optional<bool> followSitemaps; // 43, written only after 42

    QStringList toFields() const;
    // nullopt when there are too few fields or a number or flag field does not convert.
    static std::optional<ResumeRecord> fromFields(const QStringList& fields);
};

QString ResumeRecordPath(const QString& siteDir);
// The cookies a stopped crawl had, in the cookies.txt format, beside its resume record and as private.
QString CookieJarPath(const QString& siteDir);
QString ResumeListPath(const QString& saveDir);

inline constexpr qint64 MaxAppendedResumeBytes = 64 * 1024;

// Replaces the file by the record.
IoStatus WriteResumeRecord(const QString& path, const ResumeRecord& record);
// Appends the record as the file's new last line, through files; a missing or empty file, and one
// that would grow past MaxAppendedResumeBytes, is replaced by the record alone.
IoStatus AppendResumeRecord(AppendFiles& files, const QString& path, const ResumeRecord& record);
// Leaves the file holding the record alone, as the run's end must (replacing it when it holds more).
IoStatus SettleResumeRecord(AppendFiles& files, const QString& path, const ResumeRecord& record);
// The last line of the file with its line end counts (a file of one unfinished line counts as it
// is). nullopt when the file is missing or the line is broken.
std::optional<ResumeRecord> ReadResumeRecord(const QString& path);

// "True"/"False", as the resume record writes flags.
QString FlagText(bool flag);

// The resume list's top addresses, in file order; empty lines are left out. nullopt when the
// file cannot be read.
std::optional<QStringList> ReadResumeList(const QString& path);
// Writes the list anew (atomically), leaving out empty lines.
IoStatus WriteResumeList(const QString& path, const QStringList& addresses);
// Removes every line whose site root equals that of topAddr; a missing list is written empty.
IoStatus DropFromResumeList(const QString& path, const QString& topAddr);
