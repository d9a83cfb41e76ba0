#include "crawl/progress.h"

#include "records/logs.h"
#include "records/resumerecord.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

qint32& counterField(CrawlState& state, CrawlHost::Counter counter)
{
    switch (counter) {
    case CrawlHost::Detect:
        return state.DetectCount;
    case CrawlHost::Download:
        return state.DownloadCount;
    case CrawlHost::Checked:
        return state.CheckedCount;
    case CrawlHost::Failure:
        return state.FailureCount;
    case CrawlHost::Planned:
        return state.PlannedCount;
    case CrawlHost::ErrorResponse:
        break;
    }
    return state.ErrorResponseCount;
}

int resumeFieldOf(CrawlHost::Counter counter)
{
    switch (counter) {
    case CrawlHost::Detect:
        return FieldDetectCount;
    case CrawlHost::Download:
        return FieldDownloadCount;
    case CrawlHost::Checked:
        return FieldCheckedCount;
    case CrawlHost::Failure:
        return FieldFailureCount;
    case CrawlHost::Planned:
        return FieldPlannedCount;
    case CrawlHost::ErrorResponse:
        break;
    }
    return FieldErrorResponseCount;
}

} // namespace

void ReportWriteFailure(CrawlContext& context, const IoStatus& status)
{
    if (status.ok)
        return;
    context.state.StopRequested = true;
    if (context.writeFailureShown)
        return;
    context.writeFailureShown = true;
    context.host.showMessage(u"記録ファイルに書き込めないため中断しました。\n"_s + status.error);
}

void ShowCounters(CrawlContext& context)
{
    const CrawlState& s = context.state;
    context.host.setCounter(CrawlHost::Download, s.DownloadCount);
    context.host.setCounter(CrawlHost::Checked, s.CheckedCount);
    context.host.setCounter(CrawlHost::Failure, s.FailureCount);
    context.host.setCounter(CrawlHost::Planned, s.PlannedCount);
    context.host.setCounter(CrawlHost::Detect, s.DetectCount);
    context.host.setCounter(CrawlHost::ErrorResponse, s.ErrorResponseCount);
}

void SaveResumeRecord(CrawlContext& context, const QString& currentAddress)
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
    r.detectCount = s.DetectCount;
    r.downloadCount = s.DownloadCount;
    r.checkedCount = s.CheckedCount;
    r.failureCount = s.FailureCount;
    r.plannedCount = s.PlannedCount;
    r.errorResponseCount = s.ErrorResponseCount;
    r.maxSize = s.MaxSize;
    r.minSize = s.MinSize;
    r.authString = s.AuthString;
    r.userAgent = s.UserAgent;
    r.checkpoint = context.checkpoint;
    ReportWriteFailure(context, WriteResumeRecord(ResumeRecordPath(s.SiteDir), r));
    ShowCounters(context);
    context.host.stepProgress();
    context.host.setCurrentAddress(currentAddress);
}

void TakeCheckpoint(CrawlContext& context, ResumeCheckpoint::Stage stage)
{
    const CrawlState& s = context.state;
    const auto sizeOf = [](const QString& path) { return QFileInfo(path).size(); };
    ResumeCheckpoint& c = context.checkpoint;
    c.stage = stage;
    c.workListSize = s.WorkList.isEmpty() ? 0 : sizeOf(s.WorkList);
    c.detectedLogSize = sizeOf(LogPath(s.SiteDir, DetectedLogName));
    c.downloadLogSize = sizeOf(LogPath(s.SiteDir, DownloadLogName));
    c.failureReportSize = sizeOf(LogPath(s.SiteDir, FailureReportName));
    c.errorLogSize = sizeOf(LogPath(s.SiteDir, ErrorResponseLogName));
    c.counters
        = { s.DetectCount, s.DownloadCount, s.CheckedCount, s.FailureCount, s.PlannedCount, s.ErrorResponseCount };
    c.pendingPath.clear();
}

void SetPendingPath(CrawlContext& context, const QString& path)
{
    context.checkpoint.pendingPath = path;
    ReportWriteFailure(context, UpdateResumeField(ResumeRecordPath(context.state.SiteDir), FieldPendingPath, path));
}

void IncreaseCounter(CrawlContext& context, CrawlHost::Counter counter)
{
    qint32& value = counterField(context.state, counter);
    ++value;
    context.host.setCounter(counter, value);
    ReportWriteFailure(context,
        UpdateResumeField(ResumeRecordPath(context.state.SiteDir), resumeFieldOf(counter), QString::number(value)));
}

void ReportFailure(CrawlContext& context, const QString& summary, const QString& detail, const QString& address)
{
    ReportWriteFailure(
        context, WriteFailureReport(context.state.SiteDir, context.clock, summary, detail, address, FailureReportName));
    IncreaseCounter(context, CrawlHost::Failure);
}
