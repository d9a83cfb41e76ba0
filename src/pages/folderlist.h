#pragma once
// Pages listing the files of any local folder: the directory list, with a preview chosen by each
// file's type, and the image list, as thumbnail tables or one picture per entry. The pages are
// written into the listed folder itself and page 1 opens in the browser.

#include "crawl/crawlhost.h"
#include "platform/filesystem.h"

#include <QStringList>

class SettingsStore;

// The folder and every folder below it, each before those below it, subfolders in name order.
// Symbolic links are not followed, so a link loop cannot make the walk endless.
QStringList CollectFolders(const QString& folder);

// The files of the folders, folder by folder in name order: ordinary files whose lower-cased name
// ends with an entry of the lower-cased inclusion text (every file when it is empty). With
// pageBase given, earlier list pages (".html" names containing it) are left out.
QStringList CollectListFiles(const QStringList& folders, const QString& inclusion, const QString& pageBase = {});

IoStatus MakeDirList(SettingsStore& settings, CrawlHost& host, const QString& folder);
IoStatus MakeGraphList(SettingsStore& settings, CrawlHost& host, const QString& folder);
