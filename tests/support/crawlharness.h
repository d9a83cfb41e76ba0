#pragma once
// One crawl's worth of real parts for a test: state, a recording host, the libcurl transfer
// control, a settings store and a save folder in temporary folders, and a fixed clock.
//   CrawlHarness crawl;
//   crawl.settings().save(u"DeepCount"_s, 2);
//   crawl.start(server.url(u"/"_s));
//   QCOMPARE(crawl.host.counter(Counter::Download), 3);

#include "crawl/crawlcontext.h"
#include "crawl/crawlrun.h"
#include "support/fixedclock.h"
#include "support/recordinghost.h"
#include "support/tempsettings.h"
#include "transfer/lookaheadtransfercontrol.h"

#include <QTemporaryDir>
#include <memory>

// Files below a site folder with their contents, the run's records and logs left out.
QMap<QString, QByteArray> MirroredFiles(const QString& siteDir);
// Every file below a save folder, records, logs and list pages included, with the save folder's own
// path (in either separator) replaced by "<SAVE>/", so crawls into two folders compare byte for byte.
QMap<QString, QByteArray> SaveFolderContents(const QString& saveDir);

class CrawlHarness {
    TempSettings m_settings;
    QTemporaryDir m_save;

public:
    CrawlHarness();
    ~CrawlHarness();

    SettingsStore& settings() { return m_settings.store(); }
    // The save folder, ending in its separator, as the site address dialog stores it.
    QString saveDir() const;
    // The site folder of the last run.
    QString siteDir() const { return state.SiteDir; }

    // Stores the save folder and runs StartCrawl with address.
    CrawlOutcome start(const QString& address);
    CrawlOutcome resume();

    QMap<QString, QByteArray> mirroredFiles() const { return MirroredFiles(state.SiteDir); }
    // Lines of a log in the site folder.
    QStringList logLines(const QString& fileName) const;

    CrawlState state;
    RecordingHost host;
    LookAheadTransferControl transfer;
    FixedClock clock;
    std::unique_ptr<CrawlContext> context;
};
