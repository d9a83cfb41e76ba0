#pragma once
// Everything one crawl run works with, passed by reference to every engine operation: the state,
// the host that shows it, the transfer control, the settings and the clock.

#include "crawl/crawlhost.h"
#include "crawl/crawlstate.h"
#include "crawl/pagelinks.h"
#include "platform/clock.h"
#include "platform/filesystem.h"
#include "records/resumerecord.h"
#include "records/worklists.h"
#include "storage/downloadfile.h"
#include "transfer/transfercontrol.h"

#include <QByteArray>
#include <QHash>
#include <functional>
#include <optional>

class SettingsStore;

// How the body of the response in progress is being handled.
struct ResponseProgress {
    bool headOnly = false; // a HEAD probe: no body checks at all
    bool abandonAfterHeaders = false; // a GET standing in for a refused HEAD
    bool rangedRequest = false; // the request carried a Range line
    bool headersSeen = false;
    bool writeBody = false; // the status allows the body into the file
    bool errorPage = false; // an error answer: its page is scanned, never saved or counted
    bool rangeMismatch = false; // a ranged answer that cannot continue the file
    std::function<void()> headersArrived; // told before the final response's body is taken
    bool mayWait = false; // an answer asking to wait will be waited out: its body is nobody's
    std::function<void()> eachPass; // run on every pass of the wait for the request
    std::function<void(QByteArrayView)> bodyTaken; // a request of the crawl's own: the body goes here alone
};

struct CrawlContext {
    CrawlContext(
        CrawlState& crawlState, CrawlHost& crawlHost, TransferControl& control, SettingsStore& store, const Clock& time)
        : state(crawlState)
        , host(crawlHost)
        , transfer(control)
        , settings(store)
        , clock(time)
    {
    }

    CrawlState& state;
    CrawlHost& host;
    TransferControl& transfer;
    SettingsStore& settings;
    const Clock& clock;
    // The list display run at the end of a run when the list setting asks for it.
    std::function<void()> listDisplay;

    ResponseProgress response;
    // The page kept for the link scanner, over all requests of one resource (ranged pieces too).
    QByteArray pageBytes;
    // Records taken in this run: the record in progress's number, the tag of what is predicted for it.
    qint64 recordTag = 0;
    // The last record whose first request has been predicted.
    qint64 predictedThrough = 0;
    // Coming pages whose GET is predicted: once it has arrived, the probes of their links are
    // predicted too, long before the crawl scans them.
    struct PageAhead {
        qint64 tag;
        WorkRecord record;
        QString headerLines;
        bool whole = true; // its first request brings the whole body, to be looked at ahead
    };
    QList<PageAhead> pagesAhead;
    // A link's probe is predicted for one page only, the first in the crawl's order that links it
    // (a later page finds it detected by then): the tag of that page, by link. So pages are looked
    // at ahead in their order, and not while the record in progress is a page whose own links'
    // probes are not predicted yet.
    QHash<QString, qint64> probeTags;
    bool ownProbesPending = false;
    // The links of pages walked for their probes, by the page's record tag, kept for the page's own
    // scan so that a page of thousands of links is walked once. Taken only by a scan of the same
    // text (its size and hash; the text itself is not kept), address and syntax.
    struct WalkedPage {
        qint64 tag = 0;
        qsizetype textSize = 0;
        size_t textHash = 0;
        QString resolvedFrom;
        LinkSyntax syntax = LinkSyntax::Classic;
        QList<WalkedLink> links;
        qsizetype predictedThrough = 0; // the links before this one have had their probes predicted
    };
    QList<WalkedPage> walkedPages;
    // Imports left out for nesting too deep were reported in this run (once).
    bool deepImportsReported = false;
    // Where the record in progress started, written with every resume record.
    ResumeCheckpoint checkpoint;
    bool pendingCommitted = false; // the checkpoint's file took its real name: no temporary file is left
    // The logs and work lists the run appends to, open for the run; closed when it ends.
    AppendFiles files;
    WorkListReader workLists { files };
    // The resume record last written in this run, and the cookies kept beside it.
    std::optional<ResumeRecord> lastResumeRecord;
    QByteArray savedCookies;
    std::optional<quint64> savedCookiesVersion; // of the transfer control's cookies as last kept
    // The local file of the record in progress, and the first of its writes that failed since the
    // record was planned: that body is given up and the file it would replace is kept.
    DownloadFile download;
    IoStatus fileStatus;
    bool writeFailureShown = false;
    // Why the top page could not be had, as its failure or error-response entry says; a run whose
    // top page failed has fetched nothing and says so instead of "終了".
    QString topFailure;
    // Why the robots.txt of an origin could not be read (no answer, or a 5xx): nothing there is
    // allowed, and a refusal says so rather than that robots.txt forbids it.
    QHash<QString, QString> robotsUnread;
    // Origins whose robots.txt asks for a Crawl-delay over a minute, not told yet, with the delay.
    QHash<QString, int> longCrawlDelays;
    // The top page's record address (the top address as its probe resolved it).
    QString topRecordAddress;
};
