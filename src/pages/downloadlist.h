#pragma once
// The download list: pages listing the files of a site's download log, each with a preview, its
// name on the site, the address it came from and where it was saved; page 1 opens in the browser.

#include "crawl/crawlhost.h"
#include "crawl/crawlrun.h"
#include "platform/filesystem.h"

#include <QStringList>

class QFile;
class SettingsStore;

// The list display: finds the download log of the site crawled last (SiteAddress and the save
// folder in the settings), checks it can be read, and, holding the site folder (SiteLock), writes
// and opens its pages. Messages go to the host. Finished when the pages were written; else Failed,
// or InUse while another program holds the site folder.
CrawlOutcome IEView_Click(SettingsStore& settings, CrawlHost& host);

// Writes the pages of the log at logPath into siteFolder and opens page 1 through the host.
IoStatus MakeDownloadList(SettingsStore& settings, CrawlHost& host, const QString& logPath, const QString& siteAddress,
    const QString& siteFolder);

// The next record of an open log: its fields, the header line and blank lines skipped. atEnd is
// set at the end of the file.
QStringList ReadLogRecord(QFile& log, bool& atEnd, CrawlHost* host = nullptr);

// The page files' base path for a site address: the parts after the host, each followed by "_",
// then "プレビュー", in the site folder.
QString DownloadListBasePath(const QString& siteAddress, const QString& siteFolder);
