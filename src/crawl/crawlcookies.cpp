#include "crawl/crawlcookies.h"

#include "crawl/writefailure.h"
#include "records/resumerecord.h"
#include "settings/settingskeys.h"
#include "settings/settingsstore.h"
#include "storage/localpath.h"

#include <QFile>

namespace K = SettingsKeys;

IoStatus TakeBrowserCookies(CrawlContext& context)
{
    // A browser's cookies, exported for a site that opens only to its users.
    QByteArray cookies;
    if (const QString cookieFile = context.settings.text(K::CookieFile); !cookieFile.isEmpty()) {
        QFile file(cookieFile);
        if (!file.open(QIODevice::ReadOnly))
            return FileFailure(file, cookieFile);
        cookies = file.readAll();
    }
    context.transfer.setCookies(cookies, context.settings.flag(K::KeepCookies));
    return IoStatus::success();
}

void ForgetKeptCookies(CrawlContext& context)
{
    DeleteFileQuietly(CookieJarPath(context.state.SiteDir));
    context.savedCookies.clear();
}

void RestoreKeptCookies(CrawlContext& context, const QString& siteDir)
{
    QFile cookies(CookieJarPath(siteDir));
    context.transfer.setCookies(
        cookies.open(QIODevice::ReadOnly) ? cookies.readAll() : QByteArray(), context.settings.flag(K::KeepCookies));
    context.savedCookies = context.transfer.cookies();
}

void KeepChangedCookies(CrawlContext& context)
{
    const QByteArray cookies = context.transfer.cookies();
    if (cookies == context.savedCookies)
        return;
    const IoStatus kept = ReplaceFileAtomically(CookieJarPath(context.state.SiteDir), cookies, FileAccess::OwnerOnly);
    ReportWriteFailure(context, kept);
    if (kept)
        context.savedCookies = cookies;
}
