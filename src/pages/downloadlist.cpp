#include "pages/downloadlist.h"

#include "crawl/crawlhost.h"
#include "pages/pageframe.h"
#include "pages/previews.h"
#include "platform/codepage.h"
#include "records/logs.h"
#include "records/recordline.h"
#include "settings/settingskeys.h"
#include "settings/settingsstore.h"
#include "storage/localpath.h"
#include "storage/sitelock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

const QString LogHeaderStart = u"日時,元ファイル名,保存されたファイル名（フルパス）"_s;

// Why a folder cannot be listed, or "" when it can.
QString folderProblem(const QString& folder)
{
    const QFileInfo info(folder);
    if (!info.exists())
        return u"フォルダが見つかりません。"_s;
    if (!info.isDir() || !info.isReadable() || !QDir(folder).isReadable())
        return u"フォルダにアクセスできません。"_s;
    return {};
}

QStringList entryLines(qint64 number, const QStringList& fields, const QStringList& imageExts)
{
    const QString name = fields.value(1);
    const QString path = fields.value(2);
    const QString address = fields.value(3);
    QStringList lines { u"<hr>NO."_s + QString::number(number) };
    const QStringList images = ImagePreviewLines(path, imageExts, u"<br><br>"_s);
    lines += images.isEmpty() ? DocumentPreviewLines(path) : images;
    lines << u"<br>"_s << u"<table border=\"1\" align=\"center\">"_s << u"<tr><td>"_s << u"ファイル名"_s
          << u"</td><td>"_s << HtmlEscaped(name) + u"</td></tr>"_s << u"<tr><td>"_s << u"取得元アドレス"_s
          << u"</td><td>"_s << u"<a href=\""_s + HtmlEscaped(address) + u"\">"_s
          << HtmlEscaped(address) + u"</a></td></tr>"_s << u"<tr><td>"_s << u"ダウンロ－ド先"_s << u"</td><td>"_s
          << u"<a href=\""_s + PathTarget(path) + u"\">"_s << HtmlEscaped(path) + u"</a></td></tr>"_s
          << u"</table><br>"_s;
    return lines;
}

} // namespace

QString DownloadListBasePath(const QString& siteAddress, const QString& siteFolder)
{
    const QStringList parts = siteAddress.split(u'/');
    QString text;
    for (qsizetype i = 3; i < parts.size(); ++i)
        text += parts[i] + u'_';
    // The address's own characters may not all be allowed in a file name.
    const QString name = FitNameLength(CleanNameSegment(text + u"プレビュー"_s) + u"00000.html"_s).chopped(10);
    return siteFolder + NativeSeparator() + name;
}

QStringList ReadLogRecord(QFile& log, bool& atEnd, CrawlHost* host)
{
    while (true) {
        if (log.atEnd()) {
            atEnd = true;
            return {};
        }
        QByteArray bytes = log.readLine();
        if (host)
            host->yield();
        while (bytes.endsWith('\n') || bytes.endsWith('\r'))
            bytes.chop(1);
        const QString line = DecodeCodePage(bytes);
        if (line.isEmpty() || line.contains(LogHeaderStart))
            continue;
        const QStringList fields = SplitRecordLine(line);
        if (fields.size() < 4)
            continue; // not a record this program wrote
        atEnd = false;
        return fields;
    }
}

IoStatus MakeDownloadList(SettingsStore& settings, CrawlHost& host, const QString& logPath, const QString& siteAddress,
    const QString& siteFolder)
{
    qint64 perPage = settings.number(SettingsKeys::ListViewSize);
    if (perPage < 1)
        perPage = SettingsDefaults::ListCount;

    QFile log(logPath);
    if (!log.open(QIODevice::ReadOnly))
        return FileFailure(log, logPath);
    qint64 count = 0;
    for (bool atEnd = false; ReadLogRecord(log, atEnd), !atEnd;)
        ++count;
    log.seek(0);

    const QStringList imageExts = settings.text(SettingsKeys::ListViewGraphs).toLower().split(u';');
    PageFrame frame;
    frame.basePath = DownloadListBasePath(siteAddress, siteFolder);
    frame.pageCount = PageCountFor(count, perPage);
    frame.subject = siteAddress;
    frame.kindPhrase = u"からダウンロードしたファイル"_s;
    frame.mark = u"download list"_s;
    ListPageWriter writer(frame, [&host](const QString& path) { host.openDocument(path); });
    if (const IoStatus claimed = writer.claimFiles(host); !claimed)
        return claimed;

    qint64 number = 1;
    qint64 onPage = 0;
    writer.startPage(1);
    while (true) {
        bool atEnd = false;
        const QStringList fields = ReadLogRecord(log, atEnd, &host);
        if (atEnd)
            return writer.finishPage(true);
        writer.addLines(entryLines(number++, fields, imageExts));
        if (++onPage == perPage) {
            if (const IoStatus written = writer.finishPage(false); !written)
                return written;
            writer.startPage(writer.currentPage() + 1);
            onPage = 0;
        }
    }
}

CrawlOutcome IEView_Click(SettingsStore& settings, CrawlHost& host)
{
    const auto failed = [&host](const QString& reason) {
        host.showMessage(reason);
        return CrawlOutcome { CrawlOutcome::Failed, reason };
    };
    const QString address = settings.text(SettingsKeys::SiteAddress);
    if (address.isEmpty())
        return failed(u"ダウンロードしたアドレスがありません。"_s);
    const QString saveDir = settings.text(SettingsKeys::SaveFolder);
    const QString siteFolder = SiteDirOf(saveDir, address);
    const QString logPath = siteFolder + NativeSeparator() + DownloadLogName;
    for (const QString& folder : { saveDir, siteFolder }) {
        const QString problem = folderProblem(folder);
        if (!problem.isEmpty())
            return failed(folder + u' ' + problem);
    }
    if (!QFileInfo(logPath).isFile())
        return failed(u"ダウンロードしたファイルがないか\n"_s + logPath + u" ファイルが見つかりません。"_s);
    // The pages are written into the site folder, from a log that a crawl there would be appending.
    const SiteLock lock(siteFolder);
    if (lock.state() == SiteLock::InUse)
        return SiteInUse(host, siteFolder);
    if (!lock.held())
        return failed(u"一覧のページを書き込めません。\n"_s + SiteLockPath(siteFolder));
    const IoStatus written = MakeDownloadList(settings, host, logPath, address, siteFolder);
    if (written.declined)
        return { CrawlOutcome::Declined, written.error };
    if (!written)
        return failed(u"一覧のページを書き込めません。\n"_s + written.error);
    return { CrawlOutcome::Finished, {} };
}
