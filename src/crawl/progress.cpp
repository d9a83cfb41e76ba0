#include "crawl/progress.h"

#include "records/logs.h"
#include "records/resumerecord.h"

using namespace Qt::StringLiterals;

void ReportWriteFailure(CrawlContext& context, const IoStatus& status)
{
    if (status.ok)
        return;
    context.state.StopRequested = true;
    if (context.writeFailureShown)
        return;
    context.writeFailureShown = true;
    context.host.showMessage(WriteFailureMessage(status, context.state.SaveDir));
}

QString WriteFailureMessage(const IoStatus& status, const QString& saveDir)
{
    if (status.diskFull)
        return u"保存先フォルダのディスクがいっぱいです。空きを作ってから再開して下さい。\n"_s
            + ToNativeSeparators(saveDir);
    return u"記録ファイルに書き込めないため中断しました。\n"_s + status.error;
}

bool NoteFileStatus(CrawlContext& context, const IoStatus& status)
{
    if (!status && context.fileStatus)
        context.fileStatus = status;
    return status.ok;
}

void ShowCounters(CrawlContext& context)
{
    // Detect comes fifth, as the window has always updated its labels.
    const CrawlCounters& counters = context.state.Counters;
    for (Counter counter : { Counter::Download, Counter::Checked, Counter::Failure, Counter::Planned, Counter::Detect,
             Counter::ErrorResponse })
        context.host.setCounter(counter, counters[counter]);
}

void SaveResumeRecord(CrawlContext& context, const QString& currentAddress)
{
    WriteResumeState(context, currentAddress);
    ShowProgress(context, currentAddress);
}

void WriteResumeState(CrawlContext& context, const QString& currentAddress)
{
    const CrawlState& s = context.state;
    const TransferControl& t = context.transfer;
    ResumeRecord r;
    r.topAddr = s.TopAddr;
    r.workLine = s.WorkLine - 1;
    r.workList = s.WorkList;
    r.accessType = t.accessType();
    r.proxy = t.proxy();
    r.remotePort = qint16(t.remotePort());
    r.requestTimeout = t.requestTimeout();
    r.saveDir = s.SaveDir;
    r.depthLimit = s.DepthLimit;
    r.searchType = s.SearchType;
    r.noDirTree = s.NoDirTree;
    r.skipSameName = s.SkipSameName;
    r.downloadExts = s.DownloadExts;
    r.onDownFileNames = s.OnDownFileNames;
    r.notDownFileNames = s.NotDownFileNames;
    r.numberDuplicates = s.NumberDuplicates;
    r.bufferSize = s.BufferSize;
    r.curDepth = s.CurDepth;
    r.currentAddress = currentAddress;
    r.counters = s.Counters;
    r.maxSize = s.MaxSize;
    r.minSize = s.MinSize;
    r.authString = s.AuthString;
    r.userAgent = s.UserAgent;
    r.checkpoint = context.checkpoint;
    ReportWriteFailure(context, AppendResumeRecord(context.files, ResumeRecordPath(s.SiteDir), r));
    context.lastResumeRecord = r;
}

void SettleResumeState(CrawlContext& context)
{
    if (context.lastResumeRecord)
        ReportWriteFailure(context,
            SettleResumeRecord(context.files, ResumeRecordPath(context.state.SiteDir), *context.lastResumeRecord));
}

void ShowProgress(CrawlContext& context, const QString& currentAddress)
{
    ShowCounters(context);
    context.host.stepProgress();
    context.host.setCurrentAddress(currentAddress);
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
}

bool SetPendingPath(CrawlContext& context, const QString& path)
{
    context.checkpoint.pendingPath = path;
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

void IncreaseCounter(CrawlContext& context, Counter counter)
{
    qint32& value = context.state.Counters[counter];
    ++value;
    context.host.setCounter(counter, value);
}

void ReportFailure(CrawlContext& context, const QString& summary, const QString& detail, const QString& address)
{
    ReportWriteFailure(context,
        WriteFailureReport(
            context.files, context.state.SiteDir, context.clock, summary, detail, address, FailureReportName));
    IncreaseCounter(context, Counter::Failure);
}
