#pragma once
// Starting, running and resuming a crawl.
//   StartCrawl: the options and connection settings into the state, the transfer control set up,
//     the site put at the head of its save folder's resume list (asking before replacing it).
//   RunCrawl: the site folder and records prepared (or reloaded when resuming), the queue worked
//     through, the outcome "終了" or "中断" shown, a finished site dropped from the resume list.
//   ResumeCrawl: the state restored from a site folder's resume record, then RunCrawl.

#include "crawl/crawlcontext.h"

void StartCrawl(CrawlContext& context, QString& topAddress);
void RunCrawl(CrawlContext& context, const QString& topAddress, const QString& startAddress, bool resuming);
void ResumeCrawl(CrawlContext& context, const QString& siteDir);

// Undoes what the record in progress did after the checkpoint: the work list and logs are cut
// back to their sizes then, the counters restored, and the file it was writing removed.
void UndoUnfinishedRecord(CrawlContext& context, const ResumeCheckpoint& checkpoint);
