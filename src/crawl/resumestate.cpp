#include "crawl/resumestate.h"

#include "crawl/crawlcookies.h"
#include "crawl/progress.h"
#include "crawl/writefailure.h"
#include "records/logs.h"
#include "records/resumerecord.h"

namespace {

// Every field the record shares with the crawl state, in one list for writing and for reading:
// each(recordField, stateField).
template <typename Record, typename State, typename Each> void eachSharedField(Record& r, State& s, Each each)
{
    each(r.topAddr, s.TopAddr);
    each(r.workList, s.WorkList);
    each(r.saveDir, s.SaveDir);
    each(r.depthLimit, s.DepthLimit);
    each(r.searchType, s.SearchType);
    each(r.noDirTree, s.NoDirTree);
    each(r.skipSameName, s.SkipSameName);
    each(r.downloadExts, s.DownloadExts);
    each(r.onDownFileNames, s.OnDownFileNames);
    each(r.notDownFileNames, s.NotDownFileNames);
    each(r.numberDuplicates, s.NumberDuplicates);
    each(r.bufferSize, s.BufferSize);
    each(r.curDepth, s.CurDepth);
    each(r.counters, s.Counters);
    each(r.maxSize, s.MaxSize);
    each(r.minSize, s.MinSize);
    each(r.authString, s.AuthString);
    each(r.userAgent, s.UserAgent);
}

ResumeRecord resumeRecordOf(const CrawlContext& context, const QString& currentAddress)
{
    const CrawlState& s = context.state;
    const TransferControl& t = context.transfer;
    ResumeRecord r;
    eachSharedField(r, s, [](auto& field, const auto& value) { field = value; });
    r.workLine = s.WorkLine - 1;
    r.accessType = t.accessType();
    r.proxy = t.proxy();
    r.remotePort = qint16(t.remotePort());
    r.requestTimeout = t.requestTimeout();
    r.currentAddress = currentAddress;
    r.checkpoint = context.checkpoint;
    r.moreLinks = s.MoreLinks;
    r.followSitemaps = s.FollowSitemaps;
    return r;
}

} // namespace

void RestoreResumeState(CrawlContext& context, const ResumeRecord& r)
{
    eachSharedField(r, context.state, [](const auto& field, auto& value) { value = field; });
    // A crawl started before more links were looked for goes on without them.
    context.state.MoreLinks = r.moreLinks.value_or(false);
    context.state.FollowSitemaps = r.followSitemaps.value_or(false);
    context.transfer.setAccessType(r.accessType);
    context.transfer.setProxy(r.proxy);
    context.transfer.setRemotePort(r.remotePort);
    context.transfer.setRequestTimeout(r.requestTimeout);
    context.checkpoint = r.checkpoint.value_or(ResumeCheckpoint());
}

void SaveResumeRecord(CrawlContext& context, const QString& currentAddress)
{
    WriteResumeState(context, currentAddress);
    ShowProgress(context, currentAddress);
}

void WriteResumeState(CrawlContext& context, const QString& currentAddress)
{
    // The cookies first: a resume taking the record again never lacks those set before it.
    KeepChangedCookies(context);
    const ResumeRecord r = resumeRecordOf(context, currentAddress);
    ReportWriteFailure(context, AppendResumeRecord(context.files, ResumeRecordPath(context.state.SiteDir), r));
    context.lastResumeRecord = r;
}

void SettleResumeState(CrawlContext& context)
{
    if (context.lastResumeRecord)
        ReportWriteFailure(context,
            SettleResumeRecord(context.files, ResumeRecordPath(context.state.SiteDir), *context.lastResumeRecord));
}

void TakeCheckpoint(CrawlContext& context, ResumeCheckpoint::Stage stage)
{
    const CrawlState& s = context.state;
    const auto sizeOf = [&context](const QString& path) { return context.files.size(path); };
    ResumeCheckpoint& c = context.checkpoint;
    c.stage = stage;
    c.workListSize = s.WorkList.isEmpty() ? 0 : sizeOf(s.WorkList);
    c.detectedLogSize = sizeOf(LogPath(s.SiteDir, DetectedLogName));
    c.downloadLogSize = sizeOf(LogPath(s.SiteDir, DownloadLogName));
    c.failureReportSize = sizeOf(LogPath(s.SiteDir, FailureReportName));
    c.errorLogSize = sizeOf(LogPath(s.SiteDir, ErrorResponseLogName));
    c.counters = s.Counters;
    c.pendingPath.clear();
    context.pendingCommitted = false;
}

bool SetPendingPath(CrawlContext& context, const QString& path)
{
    context.checkpoint.pendingPath = path;
    context.pendingCommitted = false;
    if (!context.lastResumeRecord)
        return true;
    // The record in progress changes its file: its resume record, as written at the take, names
    // the new one.
    ResumeRecord record = *context.lastResumeRecord;
    record.checkpoint = context.checkpoint;
    const IoStatus written = AppendResumeRecord(context.files, ResumeRecordPath(context.state.SiteDir), record);
    ReportWriteFailure(context, written);
    context.lastResumeRecord = record;
    return written.ok;
}
