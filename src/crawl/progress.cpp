#include "crawl/progress.h"

#include "crawl/writefailure.h"
#include "records/logs.h"
#include "records/resumerecord.h"

void ShowCounters(CrawlContext& context)
{
    // Detect comes fifth, as the window has always updated its labels.
    const CrawlCounters& counters = context.state.Counters;
    for (Counter counter : { Counter::Download, Counter::Checked, Counter::Failure, Counter::Planned, Counter::Detect,
             Counter::ErrorResponse })
        context.host.setCounter(counter, counters[counter]);
}

void ShowProgress(CrawlContext& context, const QString& currentAddress)
{
    ShowCounters(context);
    context.host.stepProgress();
    context.host.setCurrentAddress(currentAddress);
}

void IncreaseCounter(CrawlContext& context, Counter counter)
{
    qint32& value = context.state.Counters[counter];
    ++value;
    context.host.setCounter(counter, value);
}

void NoteTopFailure(CrawlContext& context, const QString& address, const QString& reason)
{
    if (context.topFailure.isEmpty() && !address.isEmpty()
        && (address == context.state.TopAddr || address == context.topRecordAddress))
        context.topFailure = reason;
}

void ReportFailure(CrawlContext& context, const QString& summary, const QString& detail, const QString& address)
{
    // A transfer failure's detail is libcurl's English text; the window says it in Japanese.
    const int code = context.state.LastErrorCode;
    NoteTopFailure(context, address, summary + u'\n' + (code != 0 ? TransferControl::errorReason(code) : detail));
    ReportWriteFailure(context,
        WriteFailureReport(
            context.files, context.state.SiteDir, context.clock, summary, detail, address, FailureReportName));
    IncreaseCounter(context, Counter::Failure);
}
