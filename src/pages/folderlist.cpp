#include "pages/folderlist.h"

#include "pages/pageframe.h"
#include "pages/previews.h"
#include "settings/settingskeys.h"
#include "settings/settingsstore.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

QString withoutTrailingSeparator(QString folder)
{
    if (folder.size() > 1 && (folder.endsWith(u'/') || folder.endsWith(NativeSeparator())))
        folder.chop(1);
    return folder;
}

IoStatus checkFolder(const QString& folder)
{
    const QFileInfo info(folder);
    if (folder.isEmpty() || !info.isDir())
        return IoStatus::failure(folder, u"フォルダが見つかりません。"_s);
    if (!info.isReadable() || !QDir(folder).isReadable())
        return IoStatus::failure(folder, u"フォルダを読み込めません。"_s);
    return IoStatus::success();
}

QStringList fileTableLines(const QString& path)
{
    return { u"<table border=\"1\" align=\"center\">"_s, u"<tr><td>"_s, u"ファイル名"_s, u"</td><td>"_s,
        HtmlEscaped(LastPathSegment(path)) + u"</td></tr>"_s, u"<tr><td>"_s, u"フルパス"_s,
        u"</td><td><a href=\""_s + PathTarget(path) + u"\">"_s,
        HtmlEscaped(ToNativeSeparators(path)) + u"</a></td></tr>"_s, u"</table><br>"_s };
}

QStringList summaryLines(const QString& inclusion, qint64 count, bool oneLine)
{
    QStringList lines;
    if (!inclusion.isEmpty())
        lines.append(u"検索拡張子 "_s + HtmlEscaped(inclusion) + u"<br>"_s);
    if (oneLine) {
        lines.append(QString::number(count) + u"個のファイルがありました<hr>"_s);
    } else {
        lines.append(QString::number(count) + u"個のファイルがありました"_s);
        lines.append(u"<hr>"_s);
    }
    return lines;
}

qint64 perPageSetting(SettingsStore& settings, const QString& key)
{
    const qint64 value = settings.number(key);
    return value < 1 ? SettingsDefaults::NumberOf(key) : value;
}

} // namespace

QStringList CollectFolders(const QString& folder)
{
    QStringList folders { folder };
    const QFileInfoList subfolders = QDir(folder).entryInfoList(
        QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& subfolder : subfolders)
        folders += CollectFolders(subfolder.filePath());
    return folders;
}

QStringList CollectListFiles(const QStringList& folders, const QString& inclusion, const QString& pageBase)
{
    const QStringList entries = inclusion.toLower().split(u';');
    QStringList files;
    for (const QString& folder : folders) {
        const QStringList names = QDir(folder).entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
        for (const QString& name : names) {
            const QString lowered = name.toLower();
            if (!pageBase.isEmpty() && lowered.contains(u".html"_s) && lowered.contains(pageBase))
                continue;
            if (!inclusion.isEmpty()) {
                bool taken = false;
                for (const QString& entry : entries)
                    if (lowered.endsWith(entry)) {
                        taken = true;
                        break;
                    }
                if (!taken)
                    continue;
            }
            files.append(withoutTrailingSeparator(folder) + NativeSeparator() + name);
        }
    }
    return files;
}

IoStatus MakeDirList(SettingsStore& settings, CrawlHost& host, const QString& path)
{
    const QString folder = withoutTrailingSeparator(path);
    if (const IoStatus usable = checkFolder(folder); !usable)
        return usable;
    const QString base = settings.text(SettingsKeys::MakeListFileName);
    const QStringList folders
        = settings.flag(SettingsKeys::MakeSubDirCheck) ? CollectFolders(folder) : QStringList { folder };
    const QString inclusion = settings.get(SettingsKeys::MakeListExts, SettingsDefaults::FolderListExts).toLower();
    const QStringList files = CollectListFiles(folders, inclusion, base);
    const qint64 perPage = perPageSetting(settings, SettingsKeys::MakeListFileCount);
    const QStringList imageExts = settings.text(SettingsKeys::ListViewGraphs).toLower().split(u';');
    const bool movies = settings.flag(SettingsKeys::MakeAviMovCheck);
    const bool flash = settings.flag(SettingsKeys::MakeSwfDcrCheck);

    PageFrame frame;
    frame.basePath = folder + NativeSeparator() + base;
    frame.pageCount = PageCountFor(files.size(), perPage);
    frame.subject = folder;
    frame.kindPhrase = u"　内のファイル"_s;
    frame.summaryLines = summaryLines(inclusion, files.size(), false);
    frame.indexLineEndsWithRule = false;
    frame.mark = u"folder list"_s;
    ListPageWriter writer(frame, [&host](const QString& page) { host.openDocument(page); });
    if (const IoStatus claimed = writer.claimFiles(host); !claimed)
        return claimed;

    writer.startPage(1);
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QString& file = files[i];
        QStringList preview = ImagePreviewLines(file, imageExts);
        if (preview.isEmpty() && movies)
            preview = MoviePreviewLines(file);
        if (preview.isEmpty() && flash)
            preview = FlashPreviewLines(file);
        if (preview.isEmpty() && flash)
            preview = DirectorPreviewLines(file);
        if (preview.isEmpty())
            preview = DocumentPreviewLines(file);
        writer.addLines(QStringList { u"<hr>NO."_s + QString::number(i + 1) } + preview + fileTableLines(file));
        host.yield();
        if ((i + 1) % perPage == 0 && i + 1 < files.size()) {
            if (const IoStatus written = writer.finishPage(false); !written)
                return written;
            writer.startPage(writer.currentPage() + 1);
        }
    }
    return writer.finishPage(true);
}

IoStatus MakeGraphList(SettingsStore& settings, CrawlHost& host, const QString& path)
{
    const QString folder = withoutTrailingSeparator(path);
    if (const IoStatus usable = checkFolder(folder); !usable)
        return usable;
    const QString base = settings.text(SettingsKeys::MakeGraphListFileName);
    const QStringList folders
        = settings.flag(SettingsKeys::MakeGraphSubDirCheck) ? CollectFolders(folder) : QStringList { folder };
    const QString inclusion = settings.get(SettingsKeys::MakeGraphListExts, SettingsDefaults::ListViewGraphs).toLower();
    const QStringList files = CollectListFiles(folders, inclusion);
    const bool thumbnails = settings.flag(SettingsKeys::MakeGraphMinCheck);
    const qint64 perPage = thumbnails ? perPageSetting(settings, SettingsKeys::MakeGraphMinNLine) * 5
                                      : perPageSetting(settings, SettingsKeys::MakeGraphListCount);

    PageFrame frame;
    frame.basePath = folder + NativeSeparator() + base;
    frame.pageCount = PageCountFor(files.size(), perPage);
    frame.subject = folder;
    frame.kindPhrase = u"　内の画像ファイル"_s;
    frame.summaryLines = summaryLines(inclusion, files.size(), true);
    if (thumbnails) {
        frame.afterNavigation = { u"<hr>"_s, u"<table width=\"80%\" align=\"center\" border=\"1\"><tr>"_s };
        frame.beforeClosing = { u"</table>"_s };
    }
    frame.mark = u"image list"_s;
    ListPageWriter writer(frame, [&host](const QString& page) { host.openDocument(page); });
    if (const IoStatus claimed = writer.claimFiles(host); !claimed)
        return claimed;

    const qsizetype step = thumbnails ? 5 : 1;
    writer.startPage(1);
    for (qsizetype at = 0; at < files.size(); at += step) {
        if (thumbnails) {
            const qsizetype row = qMin<qsizetype>(5, files.size() - at);
            QStringList numbers { u"<tr>"_s };
            QStringList pictures { u"</tr><tr>"_s };
            QStringList names { u"</tr><tr>"_s };
            for (qsizetype k = at; k < at + row; ++k) {
                const QString target = PathTarget(files[k]);
                numbers << u"<td>"_s << u"NO."_s + QString::number(k + 1) << u"</td>"_s;
                pictures << u"<td>"_s
                         << u"<center><a href=\""_s + target + u"\"><img src=\""_s + target
                        + u"\" width=\"48\" height=\"48\"></a></center>"_s
                         << u"</td>"_s;
                names << u"<td>"_s
                      << u"<center><a href=\""_s + target + u"\">"_s + HtmlEscaped(LastPathSegment(files[k]))
                        + u"</a></center>"_s
                      << u"</td>"_s;
            }
            writer.addLines(numbers + pictures + names + QStringList { u"</tr>"_s });
        } else {
            writer.addLines(QStringList { u"<hr>NO."_s + QString::number(at + 1),
                                u"<center><img src=\""_s + PathTarget(files[at]) + u"\"></center>"_s }
                + fileTableLines(files[at]));
        }
        host.yield();
        if ((at + step) % perPage == 0 && at + step < files.size()) {
            if (const IoStatus written = writer.finishPage(false); !written)
                return written;
            writer.startPage(writer.currentPage() + 1);
        }
    }
    return writer.finishPage(true);
}
