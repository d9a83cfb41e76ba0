// A crawl in a process of its own, for tests that kill it at a chosen moment:
//   fw-crawl-child SETTINGS-FILE start ADDRESS
//   fw-crawl-child SETTINGS-FILE resume SITE-FOLDER
// Questions are answered OK; messages go to standard error.
#include "crawl/crawlrun.h"
#include "crawl/transport.h"
#include "settings/settingsstore.h"
#include "support/quiethost.h"
#include "transfer/lookaheadtransfercontrol.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4)
        return 2;
    SettingsStore settings(args[1]);
    CrawlState state;
    QuietHost host;
    LookAheadTransferControl transfer;
    SystemClock clock;
    CrawlContext context(state, host, transfer, settings, clock);
    transfer.setStateHandler([&](int changed) { OnTransferStateChanged(context, changed); });
    CrawlOutcome outcome;
    if (args[2] == QLatin1String("start")) {
        QString top = args[3];
        outcome = StartCrawl(context, top);
    } else {
        outcome = ResumeCrawl(context, args[3]);
    }
    transfer.setStateHandler({});
    return outcome.kind == CrawlOutcome::Finished || outcome.kind == CrawlOutcome::Stopped ? 0 : 1;
}
