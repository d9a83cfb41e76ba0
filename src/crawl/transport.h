#pragma once
// Driving the transfer control: one request at a time, waits that yield to the host and sleep on
// the network, the state-change handler that streams the body into the local file and the page
// text, the judgement of a response by its status line, and the work record of a probed link.

#include "crawl/crawlcontext.h"
#include "records/workrecord.h"

#include <QStringList>

void ClearTransferFlags(CrawlContext& context);
// Waits until the control is idle; true (after cancelling) when a stop or a transfer error came first.
bool WaitTransportIdle(CrawlContext& context);
// Waits for the request just executed; true (after cancelling) on a stop or a transfer error.
// With untilIdle false a disconnect also ends the wait.
bool WaitRequestDone(CrawlContext& context, bool untilIdle);
// Executes a request and waits for it as WaitRequestDone does. An answer asking to wait (429 or
// 503) is waited out, as long as it asks and at most two minutes a time, and the request sent again,
// at most three times; then the answer stands. prepare sets up each attempt's response bookkeeping.
bool RunRequest(CrawlContext& context, const QString& address, const QString& verb, const QString& headerLines,
    bool untilIdle, bool rangedRequest = false, const std::function<void()>& prepare = {});
void OnTransferStateChanged(CrawlContext& context, int state);
// Judges the last response. A 401 on an attempt below 2 sets authLine for a retry; an error
// status is logged and counted. True when the request failed.
bool ClassifyResponse(CrawlContext& context, QString& authLine, int attempt, const QStringList& referrers);
// Writes one work record with the values of the probe's headers; listPath empty selects the
// first work list.
void RecordResponseHeaders(
    CrawlContext& context, QString& listPath, const WorkRecord& record, bool overwrite, const QString& headers);
void SelectProtocol(CrawlContext& context, const QString& address);
// Prepares the response bookkeeping and executes a request.
void ExecuteRequest(CrawlContext& context, const QString& address, const QString& verb, const QString& headerLines,
    bool rangedRequest = false);
// A request of the crawl's own (robots.txt, a sitemap): a GET following at most five redirects and
// tried once more when its connection fails before any answer. Its body goes to take alone, which
// returns false when it wants no more; nothing of it is logged, counted or saved.
struct OwnFetch {
    bool stopped = false; // a stop came first
    int status = 0; // of the final answer; 0 when none came
    QString failure; // why no answer came ("エラー：7 ..."), or empty
};
OwnFetch FetchOwnFile(CrawlContext& context, const QString& address, const std::function<bool(QByteArrayView)>& take);
// Decodes the page kept over the resource's requests into PageText for the link scanner.
void TakePageText(CrawlContext& context);
// The control's raw header block as text.
QString ResponseHeaderText(const CrawlContext& context);
