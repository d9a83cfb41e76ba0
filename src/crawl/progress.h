#pragma once
// The resume record written from the crawl state, and the counters: whoever increases a counter
// shows it; the resume record stores the counters once per record, with the checkpoint that lets a
// resume undo whatever the unfinished record changed after it.

#include "crawl/crawlcontext.h"

// Rewrites the resume record from the state with currentAddress in field 18, and shows the
// counters, the progress step and the current address.
void SaveResumeRecord(CrawlContext& context, const QString& currentAddress);
// Writes the resume record only (appended as the file's new last line).
void WriteResumeState(CrawlContext& context, const QString& currentAddress);
// Leaves the resume record file holding the last record alone, as at the end of a run.
void SettleResumeState(CrawlContext& context);
// Shows the counters, the progress step and the current address, as SaveResumeRecord does.
void ShowProgress(CrawlContext& context, const QString& currentAddress);
// Marks the start of a record: the sizes of the work list and logs and the counters as they are
// now; the file it is to write is set in the checkpoint before the resume record is saved.
void TakeCheckpoint(CrawlContext& context, ResumeCheckpoint::Stage stage);
// Records the file the record in progress is about to write, when it changes after the take; false
// when the resume record could not be written.
bool SetPendingPath(CrawlContext& context, const QString& path);
void IncreaseCounter(CrawlContext& context, Counter counter);
// Shows all six counters.
void ShowCounters(CrawlContext& context);
// Appends a failure-report entry and counts it.
void ReportFailure(CrawlContext& context, const QString& summary, const QString& detail, const QString& address);
