#pragma once
// What becomes of a write that fails during a crawl: a record or log that cannot be written stops
// the run with one message, and the record's own file keeps its first failure so that its body is
// given up while the file it would replace stays.

#include "crawl/crawlcontext.h"

// A record or log that cannot be written stops the run with a message instead of losing data
// silently; the message is shown once per run. So does a full disk, whatever was being written.
void ReportWriteFailure(CrawlContext& context, const IoStatus& status);
// What the user is told when a record or log cannot be written; saveDir names a full disk's folder.
QString WriteFailureMessage(const IoStatus& status, const QString& saveDir);
// Keeps status as the record's file status when it is the first failure; true when it is ok.
bool NoteFileStatus(CrawlContext& context, const IoStatus& status);
