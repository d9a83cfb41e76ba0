#pragma once
// What the crawl shows and counts as it goes: whoever increases a counter shows it, and failures
// are reported as failure-report entries; the resume record that stores the counters once per
// record is resumestate's.

#include "crawl/crawlcontext.h"

// Shows the counters, the progress step and the current address.
void ShowProgress(CrawlContext& context, const QString& currentAddress);
void IncreaseCounter(CrawlContext& context, Counter counter);
// Shows all six counters.
void ShowCounters(CrawlContext& context);
// Keeps reason as the top page's failure when address is the top page's and none is kept yet.
void NoteTopFailure(CrawlContext& context, const QString& address, const QString& reason);
// Appends a failure-report entry and counts it.
void ReportFailure(CrawlContext& context, const QString& summary, const QString& detail, const QString& address);
