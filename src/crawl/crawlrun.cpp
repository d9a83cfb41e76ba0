#include "crawl/crawlrun.h"

#include "address/addressfunctions.h"
#include "address/authority.h"
#include "crawl/crawlcookies.h"
#include "crawl/fetchloop.h"
#include "crawl/linkaddress.h"
#include "crawl/linkresolver.h"
#include "crawl/progress.h"
#include "crawl/resumestate.h"
#include "crawl/robots.h"
#include "crawl/transport.h"
#include "crawl/writefailure.h"
#include "productnames.h"
#include "records/logs.h"
#include "records/resumerecord.h"
#include "records/worklists.h"
#include "settings/settingskeys.h"
#include "settings/settingsstore.h"
#include "storage/filefilters.h"
#include "storage/localpath.h"
#include "storage/partfile.h"
#include "storage/sitelock.h"
#include "transfer/presetproxy.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace K = SettingsKeys;
namespace D = SettingsDefaults;

namespace {

// How many requests may run at once and how far apart they start per host: settings of this
// machine rather than of the crawl, so a resumed crawl takes them as they are now.
void configureConnections(CrawlContext& c)
{
    c.transfer.setConnections(
        int(std::clamp<qint64>(c.settings.number(K::Connections), D::MinConnections, D::MaxConnections)));
    c.transfer.setRequestInterval(int(std::clamp<qint64>(c.settings.number(K::RequestIntervalMs), 0, 3600000)));
    c.transfer.setHttp2(c.settings.flag(K::Http2));
    // Read as each crawl starts, so that a change of the system's proxy reaches the next one.
    c.transfer.setPresetProxy(ReadPresetProxy());
    c.transfer.forgetHosts();
    c.state.FollowRetryAfter = c.settings.flag(K::FollowRetryAfter);
    c.transfer.setFollowRetryAfter(c.state.FollowRetryAfter);
    c.state.FollowRobots = c.settings.flag(K::FollowRobots);
    c.state.Robots.clear();
    c.state.RobotsRefusals = 0;
    c.robotsUnread.clear();
    c.longCrawlDelays.clear();
}

// A proxy script in the system's settings is not run; the crawl says so in its failure report, where
// a user looks when requests fail.
void tellUnusedProxyScript(CrawlContext& c)
{
    const TransferControl& t = c.transfer;
    const PresetProxy* preset = t.settings().presetProxy.get();
    if (t.accessType() != TransferControl::AccessPreconfigured || !preset || preset->script.isEmpty())
        return;
    ReportWriteFailure(c,
        WriteFailureReport(c.files, c.state.SiteDir, c.clock, u"プロキシの自動構成スクリプトは使えません"_s,
            u"Windowsのプロキシ設定のうち自動構成スクリプトは使わず、手動の設定か直接の接続で通信します。"
            u"スクリプトが選ぶプロキシが要るときは、設定の「プロキシ サーバー」に指定して下さい。"_s,
            preset->script, FailureReportName));
}

} // namespace

QString CrawlOutcome::caption() const
{
    switch (kind) {
    case Finished:
        return u"終了"_s;
    case Stopped:
        return u"中断"_s;
    case Declined:
    case Failed:
    case InUse:
        break;
    }
    return {};
}

namespace {

CrawlOutcome failed(CrawlHost& host, const QString& reason)
{
    host.showMessage(reason);
    return { CrawlOutcome::Failed, reason };
}

CrawlOutcome siteUnwritable(CrawlHost& host, const QString& siteDir)
{
    return failed(host, u"サイトのフォルダに書き込めません。\n"_s + siteDir);
}

} // namespace

CrawlOutcome SiteInUse(CrawlHost& host, const QString& siteDir)
{
    const QString reason
        = u"このサイトのフォルダは別のダウンロードが使用中です。終わってからやり直して下さい。\n"_s + siteDir;
    host.showMessage(reason);
    return { CrawlOutcome::InUse, reason };
}

CrawlOutcome StartCrawl(CrawlContext& c, QString& topAddress)
{
    CrawlState& s = c.state;
    SettingsStore& settings = c.settings;
    s.CurDepth = 0;
    EnsureHostSlash(topAddress);
    topAddress = EncodeForWire(topAddress);
    s.StopRequested = false;

    TransferControl& t = c.transfer;
    t.cancel();
    configureConnections(c);
    t.setUrl(QString());
    t.setAccessType(int(settings.number(K::AccessType)));
    t.setProxy(QString());
    if (t.accessType() == TransferControl::AccessNamedProxy)
        t.setProxy(settings.text(K::ProxyAddress) + u':' + QString::number(settings.number(K::PortNo)));
    t.setRequestTimeout(int(settings.number(K::RequestTimeout)));
    if (const IoStatus cookies = TakeBrowserCookies(c, topAddress); !cookies)
        return failed(c.host, cookies.error);

    s.SaveDir = settings.get(K::SaveFolder, D::HomeSaveFolder());
    const qint64 deep = settings.number(K::DeepCount);
    s.DepthLimit = qint16(std::clamp<qint64>(deep == 0 ? 0 : deep + 1, 0, 32767));
    s.SearchType = qint16(settings.number(K::SearchType));
    s.NoDirTree = settings.flag(K::NoDirTree);
    s.SkipSameName = settings.flag(K::SkipSameName);
    s.DownloadExts = settings.get(K::DownloadExts, D::CrawlDownloadExts);
    s.OnDownFileNames = settings.text(K::OnDownFileNames);
    s.NotDownFileNames = settings.text(K::NotDownFileNames);
    s.MaxSize = ScaledSize(settings.decimal(K::MaxSize), 1024);
    s.MinSize = ScaledSize(settings.decimal(K::MinSize), 1024);
    s.AuthString = settings.text(K::AuthString);
    s.UserAgent = settings.text(K::UserAgent);
    s.NumberDuplicates = settings.flag(K::NumberDuplicates);
    s.BufferSize = ScaledSize(settings.decimal(K::BuffLen), 1048576);
    s.ScanLimit = ScaledSize(settings.decimal(K::ScanLimitMB), 1048576);
    s.MoreLinks = settings.flag(K::MoreLinks);
    s.FollowSitemaps = settings.flag(K::FollowSitemaps);
    // A site whose robots.txt refuses the top address is told so before anything is made or
    // written; one whose robots.txt could not be read goes on to its top page, whose failure the
    // failure report keeps as it does when robots.txt is not followed.
    if (LearnRobots(c, topAddress) && !RobotsAllow(s, topAddress) && !c.robotsUnread.contains(OriginOf(topAddress)))
        return failed(c.host, u"robots.txtで禁止されています"_s + u'\n' + topAddress);

    s.WorkLine = 1;
    s.WorkList.clear();

    const QString listPath = ResumeListPath(s.SaveDir);
    const QString root = SiteRootOf(topAddress);
    const QString siteDir = SiteDirOf(s.SaveDir, topAddress);
    // A run going on in the site folder has made it: this one is refused before the site's resume
    // entry is questioned. A folder not there yet is nobody's; it is made once the run goes ahead.
    std::optional<SiteLock> lock;
    if (QFileInfo(siteDir).isDir() && lock.emplace(siteDir).state() == SiteLock::InUse)
        return SiteInUse(c.host, siteDir);
    QStringList kept;
    for (const QString& line : ReadResumeList(listPath).value_or(QStringList())) {
        if (SiteRootOf(line) != root) {
            kept.append(line);
            continue;
        }
        const QString host = root.mid(7).chopped(1);
        if (!c.host.askOkCancel(host + u" のドメイン名は再開リストに存在しますが上書きしますか？"_s))
            return { CrawlOutcome::Declined, {} };
    }
    kept.prepend(topAddress);
    MakeFolder(siteDir);
    if (!lock || !lock->held()) {
        if (lock.emplace(siteDir).state() == SiteLock::InUse)
            return SiteInUse(c.host, siteDir);
        if (!lock->held())
            return siteUnwritable(c.host, siteDir);
    }
    const IoStatus written = WriteResumeList(listPath, kept);
    if (!written)
        return failed(c.host, u"再開リストに書き込めません。\n"_s + written.error);
    return RunCrawl(c, topAddress, topAddress, false);
}

CrawlOutcome RunCrawl(CrawlContext& c, const QString& topAddress, const QString& startAddress, bool resuming)
{
    CrawlState& s = c.state;
    c.writeFailureShown = false;
    c.topFailure.clear();
    c.topRecordAddress.clear();
    c.recordTag = 0;
    c.predictedThrough = 0;
    c.pagesAhead.clear();
    c.deepImportsReported = false;
    c.probeTags.clear();
    c.ownProbesPending = false;
    c.walkedPages.clear();
    c.files.closeAll();
    c.workLists.close();
    c.lastResumeRecord.reset();
    s.DownloadExtList = SplitFilterSetting(s.DownloadExts);
    s.OnNameList = SplitFilterSetting(s.OnDownFileNames);
    s.NotNameList = SplitFilterSetting(s.NotDownFileNames);
    s.SiteDir = SiteDirOf(s.SaveDir, topAddress);
    s.Folders = {}; // the folders may have changed since a run before
    MakeFolder(s.SiteDir);
    ExpandNamePatterns(s.DownloadExtList);
    ExpandNamePatterns(s.OnNameList);
    ExpandNamePatterns(s.NotNameList);
    s.DetectedAddrs.clear();
    s.TopAddr = topAddress;
    s.TopBase = DirectoryAddressOf(topAddress);
    s.TopRoot = SiteRootOf(topAddress);
    WorkRecord startRecord;
    startRecord.address = startAddress;
    startRecord.directoryAddress = DirectoryAddressOf(startAddress);
    startRecord.siteRoot = SiteRootOf(startAddress);
    startRecord.depth = u"0"_s;
    startRecord.referrerChain = startAddress;

    if (resuming) {
        tellUnusedProxyScript(c);
        for (const QString& address : ReadDetectedAddresses(s.SiteDir))
            s.DetectedAddrs.append(address);
        c.host.yield();
        if (s.StopRequested)
            return { CrawlOutcome::Stopped, {} };
        FetchWorkItems(c);
    } else {
        DeleteFileQuietly(ResumeRecordPath(s.SiteDir));
        ForgetKeptCookies(c);
        DeleteFileQuietly(LogPath(s.SiteDir, ErrorResponseLogName));
        DeleteFileQuietly(LogPath(s.SiteDir, FailureReportName));
        DeleteFileQuietly(LogPath(s.SiteDir, DetectedLogName));
        ReportWriteFailure(c, StartLog(c.files, s.SiteDir, DetectedLogName, DetectedLogHeader));
        DeleteFileQuietly(LogPath(s.SiteDir, DownloadLogName));
        ReportWriteFailure(c, StartLog(c.files, s.SiteDir, DownloadLogName, DownloadLogHeader));
        tellUnusedProxyScript(c);
        s.Counters.clear();
        TakeCheckpoint(c, ResumeCheckpoint::Seeding);
        SaveResumeRecord(c, topAddress);
        QString headers;
        const QString start = s.StopRequested ? QString() : ResolveLink(c, startRecord, headers, QString(), QString());
        if (!start.isEmpty()) {
            startRecord.address = start;
            c.topRecordAddress = start;
            RecordResponseHeaders(c, s.WorkList, startRecord, true, headers);
            // The queue is seeded: a resume from here takes its first record.
            c.checkpoint.stage = ResumeCheckpoint::Done;
            SaveResumeRecord(c, topAddress);
            FetchWorkItems(c);
        }
    }

    SettleResumeState(c);
    // A crawl whose last write failed has not finished: it stays in the resume list.
    if (!s.StopRequested)
        ReportWriteFailure(c, DropFromResumeList(ResumeListPath(s.SaveDir), s.TopAddr));
    CrawlOutcome outcome { s.StopRequested ? CrawlOutcome::Stopped : CrawlOutcome::Finished, {} };
    // A run whose top page could not be had fetched nothing: it failed, and the user is told why
    // rather than shown "終了" and an empty list.
    if (outcome.kind == CrawlOutcome::Finished && !c.topFailure.isEmpty()) {
        outcome
            = { CrawlOutcome::Failed, u"トップページを取得できませんでした。\n"_s + s.TopAddr + u'\n' + c.topFailure };
        c.host.setCurrentAddress(u"トップページを取得できませんでした。"_s);
    } else {
        c.host.setCurrentAddress(outcome.caption());
    }
    s.DetectedAddrs.clear();
    ShowCounters(c);
    c.host.setCaption(ProductName);
    c.host.resetProgress();
    c.transfer.cancel();
    c.transfer.dropAllPredictions();
    // A file still open belongs to a record that a resume takes again from an empty file.
    static_cast<void>(c.download.close());
    c.files.closeAll();
    c.workLists.close();
    if (outcome.kind == CrawlOutcome::Failed) {
        c.host.showMessage(outcome.reason);
        return outcome;
    }
    if (c.settings.flag(SettingsKeys::ListViewCheck) && c.listDisplay)
        c.listDisplay();
    return outcome;
}

CrawlOutcome ResumeCrawl(CrawlContext& c, const QString& siteDir, std::optional<bool> moreLinks)
{
    CrawlState& s = c.state;
    s.CurDepth = 0;
    s.StopRequested = false;
    const SiteLock lock(siteDir);
    if (lock.state() == SiteLock::InUse)
        return SiteInUse(c.host, siteDir);
    const std::optional<ResumeRecord> record = ReadResumeRecord(ResumeRecordPath(siteDir));
    if (!record)
        return failed(c.host, u"何らかの理由でエラーが起きました"_s);
    if (!lock.held())
        return siteUnwritable(c.host, siteDir);
    const ResumeRecord& r = *record;
    // A killed run leaves the records it appended, maybe with an unfinished line after the last:
    // the record that counts is settled alone before anything is appended to it again.
    c.files.closeAll();
    const IoStatus settled = SettleResumeRecord(c.files, ResumeRecordPath(siteDir), r);
    if (!settled)
        return failed(c.host, WriteFailureMessage(settled, r.saveDir));
    configureConnections(c);
    RestoreResumeState(c, r);
    if (moreLinks)
        s.MoreLinks = *moreLinks;
    RestoreKeptCookies(c, siteDir);
    // Line 0: stopped before the first record was taken; the queue starts at its first line.
    s.WorkLine = qMax(r.workLine, 1);
    // Not part of the resume record, whose format stays as it is: a resumed run takes the setting.
    s.ScanLimit = ScaledSize(c.settings.decimal(K::ScanLimitMB), 1048576);
    s.SiteDir = siteDir;
    if (r.checkpoint) {
        switch (r.checkpoint->stage) {
        case ResumeCheckpoint::Seeding:
            return RunCrawl(c, r.topAddr, r.topAddr, false);
        case ResumeCheckpoint::Taken:
            UndoUnfinishedRecord(c, *r.checkpoint);
            break;
        case ResumeCheckpoint::Done:
            s.WorkLine = r.workLine + 1;
            if (!r.checkpoint->pendingPath.isEmpty())
                DiscardPartFile(r.checkpoint->pendingPath);
            break;
        }
    }
    return RunCrawl(c, r.topAddr, r.currentAddress, true);
}

void UndoUnfinishedRecord(CrawlContext& c, const ResumeCheckpoint& checkpoint)
{
    CrawlState& s = c.state;
    c.files.closeAll();
    c.workLists.close();
    const auto cut = [&c](const QString& path, qint64 size) {
        QFile file(path);
        if (file.exists() && file.size() > size && !file.resize(size))
            ReportWriteFailure(c, FileFailure(file, path));
    };
    cut(s.WorkList, checkpoint.workListSize);
    cut(LogPath(s.SiteDir, DetectedLogName), checkpoint.detectedLogSize);
    cut(LogPath(s.SiteDir, DownloadLogName), checkpoint.downloadLogSize);
    cut(LogPath(s.SiteDir, FailureReportName), checkpoint.failureReportSize);
    cut(LogPath(s.SiteDir, ErrorResponseLogName), checkpoint.errorLogSize);
    s.Counters = checkpoint.counters;
    if (checkpoint.pendingPath.isEmpty())
        return;
    if (PartFileExists(checkpoint.pendingPath)) {
        // The body never took its real name: whatever file is there is the one from before.
        DiscardPartFile(checkpoint.pendingPath);
    } else if (s.SkipSameName || s.NumberDuplicates) {
        // The record's own file is complete; taken again it would be skipped or numbered.
        DeleteFileQuietly(checkpoint.pendingPath);
    }
}
