#pragma once
// The settings keys and their defaults, the one place a default is written. SettingsDefaults::Of
// gives a key's default as stored text, which the store's one-argument readers use. A few keys have
// a second default for one reader (the crawl start reads DownloadExts without ".png"); those are
// named below and passed explicitly by that reader.

#include "transfer/transfercontrol.h"

#include <QDir>
#include <QString>
#include <QStringList>

namespace SettingsKeys {

inline const QString SiteAddress = QStringLiteral("SiteAddress");
inline const QString SaveFolder = QStringLiteral("DirDialog.Dir1");
inline const QString SaveDrive = QStringLiteral("DirDialog.Drive1");
inline const QString SearchType = QStringLiteral("SearchType");
inline const QString DeepCount = QStringLiteral("DeepCount");
inline const QString DownloadExts = QStringLiteral("DownloadExts");
inline const QString OnDownFileNames = QStringLiteral("OnDownFileNames");
inline const QString NotDownFileNames = QStringLiteral("NotDownFileNames");
inline const QString SkipSameName = QStringLiteral("NOFileDownLoasFile");
inline const QString NoDirTree = QStringLiteral("DirNOSetCheck");
inline const QString NumberDuplicates = QStringLiteral("FileName2NO");
inline const QString MaxSize = QStringLiteral("MAXSIZE");
inline const QString MinSize = QStringLiteral("MINSIZE");
inline const QString AuthString = QStringLiteral("ASTRING");
inline const QString ListViewCheck = QStringLiteral("ListViewCheck");
inline const QString AccessType = QStringLiteral("AccessType");
inline const QString ProxyAddress = QStringLiteral("ProxyAddress");
inline const QString PortNo = QStringLiteral("PortNO");
inline const QString RequestTimeout = QStringLiteral("RequestTimeout");
inline const QString Connections = QStringLiteral("Connections");
inline const QString RequestIntervalMs = QStringLiteral("RequestIntervalMs");
inline const QString FollowRetryAfter = QStringLiteral("FollowRetryAfter");
inline const QString FollowRobots = QStringLiteral("FollowRobots");
inline const QString KeepCookies = QStringLiteral("KeepCookies");
inline const QString Http2 = QStringLiteral("Http2");
inline const QString CookieFile = QStringLiteral("CookieFile");
// The top address of a crawl the window was closed in the middle of, told at the next start.
inline const QString AbandonedSite = QStringLiteral("AbandonedSite");
inline const QString BuffLen = QStringLiteral("BuffLen");
inline const QString ScanLimitMB = QStringLiteral("ScanLimitMB");
inline const QString MoreLinks = QStringLiteral("MoreLinks");
inline const QString FollowSitemaps = QStringLiteral("FollowSitemaps");
inline const QString UserAgent = QStringLiteral("User_Agent");
inline const QString ListViewGraphs = QStringLiteral("ListViewGraphs");
inline const QString ListViewSize = QStringLiteral("ListViewSize");
inline const QString MakeDirPath = QStringLiteral("MakeDirPath");
inline const QString MakeListFileName = QStringLiteral("MakeListFileName");
inline const QString MakeListExts = QStringLiteral("MakeListExts");
inline const QString MakeAviMovCheck = QStringLiteral("MakeAviMovCheck");
inline const QString MakeSwfDcrCheck = QStringLiteral("MakeSwfDcrCheck");
inline const QString MakeSubDirCheck = QStringLiteral("MakeSubDirCheck");
inline const QString MakeListFileCount = QStringLiteral("MakeListFileCount");
inline const QString MakeGraphDirPath = QStringLiteral("MakeGraphDirPath");
inline const QString MakeGraphListFileName = QStringLiteral("MakeGraphListFileName");
inline const QString MakeGraphListExts = QStringLiteral("MakeGraphListExts");
inline const QString MakeGraphSubDirCheck = QStringLiteral("MakeGraphSubDirCheck");
inline const QString MakeGraphMinCheck = QStringLiteral("MakeGraphMinCheck");
inline const QString MakeGraphMinNLine = QStringLiteral("MakeGraphMinNLine");
inline const QString MakeGraphListCount = QStringLiteral("MakeGraphListCount");

// What the crawl options and the two folder list dialogs show and store at every start, each as
// stored or else as its default here. A run started without them stores them the same way, so it
// does what the window would: the crawl and the page writers read a few keys with defaults of their
// own.
inline const QStringList CrawlOptions { SearchType, DeepCount, DownloadExts, OnDownFileNames, NotDownFileNames, MaxSize,
    MinSize, SkipSameName, NoDirTree, NumberDuplicates, MoreLinks, FollowSitemaps, ListViewCheck, FollowRobots,
    CookieFile };
inline const QStringList DirListOptions { MakeListFileName, MakeListExts, MakeAviMovCheck, MakeSwfDcrCheck,
    MakeSubDirCheck, MakeListFileCount };
inline const QStringList ImageListOptions { MakeGraphListFileName, MakeGraphListExts, MakeGraphSubDirCheck,
    MakeGraphMinCheck, MakeGraphMinNLine, MakeGraphListCount };

} // namespace SettingsKeys

namespace SettingsDefaults {

// Defaults that one reader uses instead of the key's own.
inline const QString SiteAddressInDialog = QStringLiteral("http://");
inline const QString CrawlDownloadExts = QStringLiteral(".gif;.jpg;.mpg;.avi;.rm");
inline const QString FolderListExts
    = QStringLiteral(".html;.htm;.gif;.png;.jpg;.jpeg;.bmp;.mov;.mpg;.mpeg;.avi;.rm;.ram");

inline const QString DialogDownloadExts = QStringLiteral(".gif;.png;.jpg;.mpg;.avi;.rm");
inline const QString UserAgent = QStringLiteral("Mozilla/4.0 (compatible; MSIE 5.01; Windows NT 5.0)");
inline const QString ListViewGraphs = QStringLiteral(".gif;.png;.jpg;.jpeg;.bmp");
inline const QString ListViewSize = QStringLiteral("20");
inline const QString ListFileName = QStringLiteral("プレビュー");
inline const QString MakeListExts = QStringLiteral(
    ".html;.htm;.pdf;.doc;.xls;.gif;.png;.jpg;.jpeg;.bmp;.mov;.mpg;.mpeg;.avi;.rm;.ram;.asf;.wmv;.swf;.dcr");
inline const QString MakeGraphListExts = QStringLiteral(".gif;.png;.jpg;.jpeg;.bmp;.ico");
constexpr int SearchType = 1;
constexpr int DeepCount = 3;
constexpr int MaxSizeKb = 1024;
constexpr int MinSizeKb = 0;
constexpr int AccessType = 0;
constexpr int PortNo = 80;
constexpr int RequestTimeout = 60;
// Connections a crawl may use at once, as browsers open per host; the range the settings allow.
constexpr int Connections = 6;
constexpr int MinConnections = 1;
constexpr int MaxConnections = TransferControl::MostConnections;
constexpr int RequestIntervalMs = 0;
constexpr int BuffLenMb = 1;
constexpr int ListCount = 20; // entries per list page: ListViewSize, MakeListFileCount, MakeGraphListCount
constexpr int ScanLimitMb = 1;
constexpr int MakeGraphMinNLine = 10;
constexpr int MakeGraphListCount = ListCount;

// Where a save folder defaults when none was stored: the user's home folder, ending in its separator.
inline QString HomeSaveFolder()
{
    return QDir::toNativeSeparators(QDir::homePath() + QLatin1Char('/'));
}

// The key's default as stored text ("" for a key without one: texts that start empty).
QString Of(const QString& key);
// The key's default as a number (0 when it has none).
qint64 NumberOf(const QString& key);

} // namespace SettingsDefaults
