#pragma once
// The state of a crawl run, one object owned by the application and passed by reference. Fields
// keep the program's own names; a value not set by a run keeps what the previous run left.

#include "address/robotsrules.h"
#include "records/crawlcounters.h"
#include "records/ownfiles.h"
#include "storage/localpath.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

// Every address detected in a run, in order of detection, with an index for the duplicate check.
class DetectedAddressSet {
public:
    bool contains(const QString& address) const { return m_index.contains(address); }
    void append(const QString& address)
    {
        m_order.append(address);
        m_index.insert(address);
    }
    void clear()
    {
        m_order.clear();
        m_index.clear();
    }
    qsizetype size() const { return m_order.size(); }
    const QStringList& inOrder() const { return m_order; }

private:
    QStringList m_order;
    QSet<QString> m_index;
};

// How a response body is read: not at all (no GET yet), as bytes only, as a page whose links are
// scanned, or, without a content type, as a page unless it turns out to hold binary bytes.
enum class BodyKind : qint16 { None = 0, Binary = 1, Text = 2, Untyped = 3 };

struct CrawlState {
    // Run identity and places.
    QString TopAddr;
    QString TopBase;
    QString TopRoot;
    QString SaveDir;
    QString SiteDir;

    // Options.
    qint16 SearchType = 0;
    qint16 DepthLimit = 0;
    bool NoDirTree = false;
    bool SkipSameName = false;
    bool NumberDuplicates = false;
    QString DownloadExts;
    QString OnDownFileNames;
    QString NotDownFileNames;
    QStringList DownloadExtList;
    QStringList OnNameList;
    QStringList NotNameList;
    qint64 MaxSize = 0;
    qint64 MinSize = 0;
    qint64 BufferSize = 0;
    qint64 ScanLimit = 1048576; // the largest page scanned for links, in bytes
    bool MoreLinks = false; // style sheets, srcset and the other links a browser follows, looked for too
    bool FollowSitemaps = false; // the pages the site's sitemaps list join the top page's links
    QString AuthString;
    QString UserAgent;
    bool FollowRetryAfter = false; // a 429 or 503 is waited out and asked again
    bool FollowRobots = false;
    QHash<QString, RobotsRules> Robots; // the rules of each origin (scheme, host and port) met in this run
    qint32 RobotsRefusals = 0; // of this run's failures, the addresses robots.txt kept the crawl from

    // Progress.
    QString WorkList;
    qint32 WorkLine = 0;
    qint16 CurDepth = 0;
    QString RefChain;
    DetectedAddressSet DetectedAddrs;
    mutable KnownFolders Folders; // what mapping local paths found on disk, kept for the run
    CrawlCounters Counters;

    // Control: set by the Stop button, window closing and unconfirmed crawl dialogs.
    bool StopRequested = false;

    // Per resource and per request.
    QString ContentLength;
    QString ETag;
    QString AcceptRanges;
    QString LocalPath;
    bool SaveToFile = false;
    BodyKind FetchKind = BodyKind::None;
    QString PageText;
    bool NoLinkScan = false;
    qint64 BytesReceived = 0;
    qint64 RangeStart = 0;
    bool TransferFailed = false;
    bool Disconnected = false;
    qint32 LastErrorCode = 0;
    QString LastErrorText;

    LocalTree localTree() const
    {
        return { SiteDir, TopRoot, NoDirTree, SkipSameName, NumberDuplicates, &IsSiteFolderOwnName, &Folders };
    }
};
