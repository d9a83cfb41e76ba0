#include "crawl/fetchloop.h"

#include "address/addressfunctions.h"
#include "crawl/fetchplan.h"
#include "crawl/linkscanner.h"
#include "crawl/lookahead.h"
#include "crawl/progress.h"
#include "crawl/resumestate.h"
#include "crawl/robots.h"
#include "crawl/sitemappages.h"
#include "crawl/transport.h"
#include "crawl/writefailure.h"
#include "records/logs.h"
#include "records/worklists.h"
#include "storage/filefilters.h"
#include "storage/localpath.h"
#include "storage/partfile.h"

#include <QFileInfo>

#include <utility>

using namespace Qt::StringLiterals;

namespace {

enum class Outcome { Done, Failed, AuthRetry, Abandoned };

// Where the file of record lands and whether it is saved: sets LocalPath and SaveToFile, and name
// to the cleaned name the download log shows.
void mapTarget(CrawlContext& c, const WorkRecord& record, qint64 length, QString& name)
{
    CrawlState& s = c.state;
    SaveTarget target = SaveTargetOf(s, record, length);
    s.LocalPath = std::move(target.path);
    s.SaveToFile = target.save;
    if (target.sizeFits)
        name = std::move(target.name);
}

// The temporary file exists before the checkpoint names it: a resume that finds it gone knows the
// body took its real name. The body is written to it through the context's download file.
void startTarget(CrawlContext& c)
{
    if (!c.state.SaveToFile)
        return;
    c.download.start(PartFilePath(c.state.LocalPath));
    NoteFileStatus(c, c.download.truncate());
    SetPendingPath(c, c.state.LocalPath);
}

// Decides the local file of a taken record and creates its temporary file before the record's
// resume record is written, so that one write names both.
void planRecord(CrawlContext& c, const WorkRecord& record, QString& name)
{
    CrawlState& s = c.state;
    c.fileStatus = IoStatus::success();
    mapTarget(c, record, RecordedLength(record), name);
    if (!s.SaveToFile)
        return;
    c.download.start(PartFilePath(s.LocalPath));
    NoteFileStatus(c, c.download.truncate());
    c.checkpoint.pendingPath = s.LocalPath;
    c.pendingCommitted = false;
}

struct RecordFetch {
    CrawlContext& c;
    const WorkRecord& record;
    FetchHeaderLines around;
    QString authLine;
    int attempt = 0;
    qint64 length = -1;
    bool lastFailed = false;
    QString name;
    bool saveWanted = false;
    QString foundAt; // where the last response came from
    bool folderAdopted = false;
    // A server that answers ranges with fewer bytes than asked makes every piece start elsewhere
    // than foreseen: pieces are no longer predicted for the record.
    bool piecesForeseeable = true;

    QString headerLines(const QString& middle) const { return around.around(middle); }

    // After a wait ended early: a stop abandons the record, a transfer error ends its transfer.
    Outcome interrupted() const { return c.state.StopRequested ? Outcome::Abandoned : Outcome::Done; }

    // A local file that failed ends the record's requests: the record has failed.
    bool fileFailed()
    {
        lastFailed = lastFailed || !c.fileStatus;
        return !c.fileStatus;
    }

    Outcome request(const QString& lines, bool ranged)
    {
        if (WaitTransportIdle(c))
            return interrupted();
        if (fileFailed())
            return Outcome::Failed;
        ClearTransferFlags(c);
        const auto prepare = [this] { c.response.headersArrived = [this] { adoptFinalAddress(); }; };
        if (RunRequest(c, record.address, u"GET"_s, lines, false, ranged, prepare))
            return interrupted();
        if (fileFailed())
            return Outcome::Failed;
        lastFailed = ClassifyResponse(c, authLine, attempt, { around.referrer });
        if (lastFailed)
            return Outcome::Failed;
        if (!authLine.isEmpty() && attempt == 0)
            return Outcome::AuthRetry;
        return Outcome::Done;
    }

    Outcome whole() { return request(headerLines(authLine), false); }

    // A folder linked without its final "/" and answered from the folder form (/jp to /jp/) is saved
    // as that folder's page, so the folder can still hold the files below it. Decided before any
    // byte of the body is written.
    void adoptFinalAddress()
    {
        foundAt = c.transfer.finalUrl();
        if (folderAdopted || foundAt != record.address + u'/')
            return;
        folderAdopted = true;
        CrawlState& s = c.state;
        const QString previous = s.SaveToFile ? s.LocalPath : QString();
        WorkRecord folderRecord = record;
        folderRecord.address = foundAt;
        mapTarget(c, folderRecord, length, name);
        startTarget(c);
        if (!previous.isEmpty())
            DiscardPartFile(previous);
        saveWanted = s.SaveToFile;
    }

    void startAfresh()
    {
        CrawlState& s = c.state;
        if (s.SaveToFile)
            NoteFileStatus(c, c.download.truncate());
        s.BytesReceived = 0;
        s.RangeStart = 0;
        s.PageText.clear();
        c.pageBytes.clear();
    }

    Outcome ranged()
    {
        CrawlState& s = c.state;
        while (length > s.BytesReceived) {
            s.RangeStart = s.BytesReceived;
            const qint64 end = PieceEnd(s, s.RangeStart, length);
            if (end == length && s.RangeStart == 0)
                return whole();
            if (piecesForeseeable)
                PredictRangedPieces(c, record.address, around, end + 1, length);
            const qint64 before = s.BytesReceived;
            const Outcome outcome = request(headerLines(RangeLines(s.ETag, s.RangeStart, end)), true);
            if (outcome != Outcome::Done || s.TransferFailed)
                return outcome;
            if (piecesForeseeable && s.BytesReceived != end + 1 && s.BytesReceived < length) {
                piecesForeseeable = false;
                c.transfer.dropPredictions(c.recordTag);
            }
            if (c.response.rangeMismatch) {
                // The server cannot continue the file: fetch it whole instead.
                startAfresh();
                return whole();
            }
            if (s.BytesReceived == before)
                break; // a piece without bytes would repeat forever
        }
        return Outcome::Done;
    }
};

// A site folder that no longer takes files (made read-only, its drive remounted so) would fail
// every file after this one: the crawl stops, to be resumed once it takes them again. Told before
// the file's failure, which its failure report may not take.
void stopIfFolderTakesNoFile(CrawlContext& c)
{
    if (!FolderWritable(c.state.SiteDir))
        ReportWriteFailure(c, IoStatus::unwritableFolder(c.state.SiteDir));
}

// A body whose local file failed is given up and the file it would replace stays as it was. A full
// disk stops the crawl so that it can be resumed once there is room. False when the crawl stops.
bool dropFailedBody(CrawlContext& c)
{
    const CrawlState& s = c.state;
    const IoStatus failure = std::exchange(c.fileStatus, IoStatus::success());
    if (!failure.diskFull)
        stopIfFolderTakesNoFile(c);
    if (s.SaveToFile) {
        // Emptied first, which makes room on a full disk for the records below; removed only once the
        // resume record no longer names it, or a resume would take the old file for the new one.
        // Whether it could be emptied matters for room only; the writes below report their own.
        static_cast<void>(StartPartFile(s.LocalPath));
        if (SetPendingPath(c, {}))
            DiscardPartFile(s.LocalPath);
        ReportFailure(c, u"ファイルエラー"_s,
            ToNativeSeparators(s.LocalPath) + u" ファイルに書き込めません。"_s + failure.error, c.transfer.url());
    }
    if (failure.diskFull)
        ReportWriteFailure(c, failure);
    return !s.StopRequested;
}

// The body has fully arrived: it takes its real name, is logged and its size checked.
void writeDownloadOutcome(CrawlContext& c, RecordFetch& fetch, const QString& name, const QStringList& referrers)
{
    CrawlState& s = c.state;
    const IoStatus committed = CommitPartFile(s.LocalPath);
    s.Folders.madeFile(s.LocalPath);
    c.pendingCommitted = committed && c.checkpoint.pendingPath == s.LocalPath;
    if (!committed) {
        stopIfFolderTakesNoFile(c);
        ReportFailure(c, u"ファイルエラー"_s, committed.error, c.transfer.url());
        return;
    }
    ReportWriteFailure(c, WriteDownloadLogLine(c.files, s.SiteDir, c.clock, name, s.LocalPath, referrers));
    IncreaseCounter(c, Counter::Download);
    if (fetch.length <= 0)
        return;
    const QFileInfo stored(s.LocalPath);
    const qint64 storedSize = stored.size(); // the one look at the file both checks below read
    if (!stored.exists()) {
        ReportFailure(c, u"ファイルエラー"_s, ToNativeSeparators(s.LocalPath) + u"ファイルが見つかりません。"_s,
            c.transfer.url());
        return;
    }
    if (qAbs(storedSize - fetch.length) > 1)
        ReportFailure(c, u"ダウンロード エラー"_s,
            u"ファイルの容量が元のファイルと違います。"_s + ToNativeSeparators(s.LocalPath), c.transfer.url());
}

// Steps of one taken and planned record; false when it was abandoned.
bool fetchRecord(CrawlContext& c, WorkRecord& record, const QString& name)
{
    CrawlState& s = c.state;
    SelectProtocol(c, record.address);
    const QString contentType = record.contentType;
    s.ContentLength = record.contentLength.isEmpty() ? u"-1"_s : record.contentLength;
    s.ETag = record.entityTag;
    s.AcceptRanges = record.acceptRanges;
    bool numeric = false;
    const qint64 length = s.ContentLength.toLongLong(&numeric);

    RecordFetch fetch { c, record, FetchHeaderLinesOf(s, record), {}, 0, numeric ? length : -1, false, name, false, {},
        false, true };

    const QStringList referrers = s.RefChain.split(u'\t');
    fetch.saveWanted = s.SaveToFile;
    // A temporary file that could not be made leaves a page to be fetched for its links only.
    if (!c.fileStatus) {
        if (!dropFailedBody(c))
            return false;
        fetch.saveWanted = false;
    }

    bool rangedMode = false;
    bool firstPass = true;
    while (true) {
        s.SaveToFile = fetch.saveWanted;
        // The temporary file was made empty when the record was planned; a repeated request
        // starts it over.
        if (s.SaveToFile && !firstPass)
            NoteFileStatus(c, c.download.truncate());
        firstPass = false;
        // A body above the scan limit is never scanned, whatever mode fetches it, and read as bytes;
        // unless it is saved it is not fetched at all.
        const bool tooLargeToScan = fetch.length > s.ScanLimit;
        s.FetchKind = BodyKindOf(contentType, tooLargeToScan, IsStyleSheet(s, record));
        if (!FetchesBody(s, s.SaveToFile, s.FetchKind, s.CurDepth))
            return true;
        s.PageText.clear();
        c.pageBytes.clear();
        s.RangeStart = 0;
        s.NoLinkScan = tooLargeToScan;
        s.BytesReceived = 0;
        rangedMode = fetch.attempt == 0 && FetchesInPieces(s, s.AcceptRanges, s.ETag, s.ContentLength);
        const Outcome outcome = rangedMode ? fetch.ranged() : fetch.whole();
        if (outcome == Outcome::Abandoned) {
            // A resume takes the record again from an empty file, so how this one closes tells nothing.
            static_cast<void>(c.download.close());
            return false;
        }
        if (outcome == Outcome::AuthRetry) {
            fetch.attempt = 2;
            continue;
        }
        break;
    }

    c.transfer.cancel();
    // An error answer is the record's final answer; a short or broken transfer is repeated once.
    if (fetch.length > s.BytesReceived && !s.StopRequested && !fetch.lastFailed) {
        // Ranged mode continues, whole mode starts afresh.
        if (!rangedMode)
            fetch.startAfresh();
        ClearTransferFlags(c);
        const Outcome outcome = rangedMode ? fetch.ranged() : fetch.whole();
        c.transfer.cancel();
        if (outcome == Outcome::Abandoned) {
            // A resume takes the record again from an empty file, so how this one closes tells nothing.
            static_cast<void>(c.download.close());
            return false;
        }
    }
    NoteFileStatus(c, c.download.close());
    if (s.StopRequested)
        return false;

    const bool brokenTransfer = s.TransferFailed;
    if (s.TransferFailed || s.LastErrorCode != 0) {
        ReportFailure(c, u"接続エラーが起きました。エラー："_s + QString::number(s.LastErrorCode), s.LastErrorText,
            c.transfer.url());
        s.LastErrorCode = 0;
        s.LastErrorText.clear();
    }
    // Only a body that arrived whole replaces the file; otherwise its temporary file goes once the
    // record is done.
    if (!c.fileStatus) {
        if (!dropFailedBody(c))
            return false;
    } else if (s.SaveToFile && !fetch.lastFailed && !brokenTransfer) {
        if (fetch.length > s.BytesReceived)
            ReportFailure(c, u"ダウンロード エラー"_s, u"ファイルのダウンロードに失敗しました。"_s, c.transfer.url());
        else
            writeDownloadOutcome(c, fetch, fetch.name, referrers);
    }
    TakePageText(c);
    if (!s.NoLinkScan) {
        const QString text = s.PageText;
        s.PageText.clear();
        ScanPageLinks(c, record.address, text, fetch.foundAt, LinkSyntaxOf(s, record));
    }
    // The top page's record alone has no referrer in its chain; the pages its site's sitemaps list
    // follow its own links, when it was had as a page.
    const bool scannedPage = s.FetchKind == BodyKind::Text || s.FetchKind == BodyKind::Untyped;
    if (!record.referrerChain.contains(u'\t') && c.topFailure.isEmpty() && scannedPage && !s.StopRequested)
        JoinSitemapPages(c, record.address);
    return true;
}

} // namespace

void FetchWorkItems(CrawlContext& context)
{
    CrawlState& s = context.state;
    WorkRecord record;
    bool taken = false;
    while (true) {
        // The resume record is written when a record is taken. The end of a record is written only
        // when no record follows: a process killed before the next take redoes the record, which
        // ends the same.
        if (taken)
            ShowProgress(context, record.address);
        // The temporary file of a failed download goes once a resume record no longer names it.
        const QString leftover = context.checkpoint.stage == ResumeCheckpoint::Done && !context.pendingCommitted
            ? context.checkpoint.pendingPath
            : QString();
        QString retired;
        if (s.StopRequested || !context.workLists.take(s.WorkList, record, s.WorkLine, s.SiteDir, &retired)) {
            if (taken)
                WriteResumeState(context, record.address);
            if (!leftover.isEmpty())
                DiscardPartFile(leftover);
            return;
        }
        taken = true;
        ++context.recordTag;
        record.directoryAddress = DirectoryAddressOf(record.address);
        record.siteRoot = SiteRootOf(record.address);
        s.CurDepth = record.depthNumber();
        s.RefChain = record.referrerChain;
        ++s.WorkLine;
        TakeCheckpoint(context, ResumeCheckpoint::Taken);
        const bool beyondDepth = s.DepthLimit > 0 && s.DepthLimit < s.CurDepth + 1;
        QString name;
        if (!s.StopRequested && !beyondDepth)
            planRecord(context, record, name);
        SaveResumeRecord(context, record.address);
        if (!leftover.isEmpty() && leftover != context.checkpoint.pendingPath)
            DiscardPartFile(leftover);
        // Only now does the resume record name the compacted list, so the old one may go.
        if (!retired.isEmpty())
            DeleteFileQuietly(retired);
        if (s.StopRequested)
            return;
        s.CurDepth = LinkDepthOf(s, record);
        if (beyondDepth)
            return;
        context.host.setCaption(u"ダウンロード中"_s);
        // A resumed run meets hosts whose robots.txt it has not read yet, and may find it changed.
        if (!LearnRobots(context, record.address))
            continue;
        TellLongCrawlDelay(context, record.address);
        const bool refused = RobotsRefuse(context, record.address);
        if (!refused)
            PredictComingFetches(context, record);
        const bool finished = refused || fetchRecord(context, record, name);
        context.transfer.dropPredictions(context.recordTag);
        if (!finished || s.StopRequested)
            continue; // unfinished: a resume undoes it and takes it again
        IncreaseCounter(context, Counter::Checked);
        context.checkpoint.stage = ResumeCheckpoint::Done;
    }
}
