#pragma once
// The resume record written from the crawl state, and the counters: whoever increases a counter
// shows it and stores it in the resume record at once.

#include "crawl/crawlcontext.h"

// Rewrites the resume record from the state with currentAddress in field 18, and shows the
// counters, the progress step and the current address.
void SaveResumeRecord(CrawlContext& context, const QString& currentAddress);
// Marks the start of a record: the sizes of the work list and logs and the counters as they are now.
void TakeCheckpoint(CrawlContext& context, ResumeCheckpoint::Stage stage);
// Records the file the record in progress is about to write.
void SetPendingPath(CrawlContext& context, const QString& path);
void IncreaseCounter(CrawlContext& context, Counter counter);
// Shows all six counters.
void ShowCounters(CrawlContext& context);
// Appends a failure-report entry and counts it.
void ReportFailure(CrawlContext& context, const QString& summary, const QString& detail, const QString& address);
