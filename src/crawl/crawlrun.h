#pragma once
// Starting, running and resuming a crawl.
//   StartCrawl: the options and connection settings into the state, the transfer control set up,
//     the site folder held (SiteLock), the site put at the head of its save folder's resume list
//     (asking before replacing it).
//   RunCrawl: the site folder and records prepared (or reloaded when resuming), the queue worked
//     through, the outcome's caption "終了" or "中断" shown, a finished site dropped from the resume list.
//     Its caller holds the site folder.
//   ResumeCrawl: the site folder held, the state restored from its resume record, then RunCrawl;
//     moreLinks, when given, changes whether more links are looked for from here on.
// The site folder is held from before the first write until the run returns; while another program
// holds it, the run is refused and writes nothing.
// Each returns how the run ended, for the host to act on:
//   if (StartCrawl(context, top).kind == CrawlOutcome::Stopped) ...  // resumable

#include "crawl/crawlcontext.h"

struct CrawlOutcome {
    enum Kind {
        Finished, // the queue ran out or the depth limit was reached; shown as "終了"
        Stopped, // a stop was requested; the site stays on the resume list; shown as "中断"
        Declined, // the user kept an existing site's resume entry; nothing ran
        Failed, // the run could not start, or its top page could not be had; reason holds the message
                // the host was shown
        InUse, // another program runs on the site folder; nothing was touched; reason as for Failed
    };
    Kind kind = Finished;
    QString reason;

    // The caption of a run that ran: "終了" or "中断"; empty for one that did not.
    QString caption() const;
};

CrawlOutcome StartCrawl(CrawlContext& context, QString& topAddress);
CrawlOutcome RunCrawl(CrawlContext& context, const QString& topAddress, const QString& startAddress, bool resuming);
CrawlOutcome ResumeCrawl(CrawlContext& context, const QString& siteDir, std::optional<bool> moreLinks = std::nullopt);
// The outcome of a run refused because another program holds its site folder, the host told so.
CrawlOutcome SiteInUse(CrawlHost& host, const QString& siteDir);

// Undoes what the record in progress did after the checkpoint: the work list and logs are cut
// back to their sizes then, the counters restored, and the file it was writing removed.
void UndoUnfinishedRecord(CrawlContext& context, const ResumeCheckpoint& checkpoint);
