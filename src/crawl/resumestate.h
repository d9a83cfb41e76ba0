#pragma once
// The crawl's resume record: written from the state, appended once per record with the checkpoint
// that lets a resume undo whatever the unfinished record changed after it, and the state restored
// from it on a resume. The fields it carries are named once, for both ways.

#include "crawl/crawlcontext.h"

// Appends the resume record of the state, with currentAddress in field 18, as the file's new last
// line, and shows the counters, the progress step and the current address.
void SaveResumeRecord(CrawlContext& context, const QString& currentAddress);
// Appends the resume record only, after keeping the cookies when they changed.
void WriteResumeState(CrawlContext& context, const QString& currentAddress);
// Leaves the resume record file holding the last record alone, as at the end of a run.
void SettleResumeState(CrawlContext& context);
// Marks the start of a record: the sizes of the work list and logs and the counters as they are
// now; the file it is to write is set in the checkpoint before the resume record is saved.
void TakeCheckpoint(CrawlContext& context, ResumeCheckpoint::Stage stage);
// Records the file the record in progress is about to write, when it changes after the take; false
// when the resume record could not be written.
bool SetPendingPath(CrawlContext& context, const QString& path);
// The state, the transfer control's properties and the checkpoint as the record keeps them; the
// work line is the record's own, to be placed by the caller.
void RestoreResumeState(CrawlContext& context, const ResumeRecord& record);
