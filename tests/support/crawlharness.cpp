#include "support/crawlharness.h"

#include "crawl/crawlrun.h"
#include "crawl/transport.h"
#include "records/logs.h"
#include "records/recordfile.h"
#include "settings/settingskeys.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

using namespace Qt::StringLiterals;

CrawlHarness::CrawlHarness()
    : context(std::make_unique<CrawlContext>(state, host, transfer, m_settings.store(), clock))
{
    transfer.setStateHandler([this](int changed) { OnTransferStateChanged(*context, changed); });
    m_settings.store().save(SettingsKeys::SaveFolder, saveDir());
    // The tests script every request; robots.txt and sitemaps are asked for where a test turns them on.
    m_settings.store().save(SettingsKeys::FollowRobots, 0);
    m_settings.store().save(SettingsKeys::FollowSitemaps, 0);
}

CrawlHarness::~CrawlHarness()
{
    transfer.setStateHandler({});
}

QString CrawlHarness::saveDir() const
{
    return m_save.path() + u'/';
}

CrawlOutcome CrawlHarness::start(const QString& address)
{
    QString top = address;
    return StartCrawl(*context, top);
}

CrawlOutcome CrawlHarness::resume()
{
    return ResumeCrawl(*context, state.SiteDir);
}

QMap<QString, QByteArray> MirroredFiles(const QString& siteDir)
{
    const QStringList records { DownloadLogName, DetectedLogName, FailureReportName, ErrorResponseLogName };
    QMap<QString, QByteArray> files;
    QDirIterator it(siteDir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = path.mid(siteDir.size() + 1);
        if (!relative.contains(u'/') && (relative.startsWith(u"Fetchwright"_s) || records.contains(relative)))
            continue;
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            files.insert(relative, file.readAll());
    }
    return files;
}

QMap<QString, QByteArray> SaveFolderContents(const QString& saveDir)
{
    QString root = saveDir;
    while (root.endsWith(u'/'))
        root.chop(1);
    QString windowsRoot = root;
    windowsRoot.replace(u'/', u'\\');
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        QByteArray bytes = file.readAll();
        bytes.replace(root.toUtf8() + '/', "<SAVE>/");
        bytes.replace(windowsRoot.toUtf8() + '\\', "<SAVE>/");
        files.insert(path.mid(root.size() + 1), bytes);
    }
    return files;
}

QStringList CrawlHarness::logLines(const QString& fileName) const
{
    return ReadRecordLines(state.SiteDir + u'/' + fileName).value_or(QStringList());
}
