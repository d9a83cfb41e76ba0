#include "crawl/crawlcookies.h"

#include "crawl/writefailure.h"
#include "records/resumerecord.h"
#include "settings/settingskeys.h"
#include "settings/settingsstore.h"
#include "storage/localpath.h"
#include "transfer/cookiejar.h"

#include <QDateTime>
#include <QFile>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace K = SettingsKeys;

namespace {

struct BrowserCookies {
    QByteArray text; // the lines of the cookies that belong to the host
    int cookies = 0; // cookie lines of any host
};

// The cookies of a browser's cookies.txt for host: those whose domain is the host or one it lies in,
// not expired. A browser's export holds the session of every site the user is logged in to, and only
// the crawl's own belong in the save folder.
BrowserCookies cookiesFor(const QByteArray& file, const QString& host)
{
    BrowserCookies found;
    const QByteArray ours = host.toLower().toUtf8();
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (QByteArray line : file.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        const auto cookie = ParseCookieLine(line);
        if (!cookie)
            continue;
        ++found.cookies;
        if ((ours == cookie->domain || ours.endsWith('.' + cookie->domain))
            && (cookie->expires == 0 || cookie->expires > now))
            found.text += line + '\n';
    }
    return found;
}

} // namespace

IoStatus TakeBrowserCookies(CrawlContext& context, const QString& topAddress)
{
    // A browser's cookies, exported for a site that opens only to its users.
    QByteArray cookies;
    if (const QString cookieFile = context.settings.text(K::CookieFile); !cookieFile.isEmpty()) {
        QFile file(cookieFile);
        if (!file.open(QIODevice::ReadOnly))
            return { false, u"クッキーファイルを読めません。\n"_s + FileFailure(file, cookieFile).error };
        const QString host = QUrl(topAddress).host(QUrl::FullyEncoded);
        const BrowserCookies found = cookiesFor(file.readAll(), host);
        // A crawl the user meant to make logged in must not quietly run without.
        if (found.cookies == 0)
            return { false,
                u"クッキーファイルではありません（ブラウザが書き出すcookies.txtの形式のファイルを指定して下さい）。\n"_s
                    + cookieFile };
        if (found.text.isEmpty())
            return { false,
                u"クッキーファイルに、このサイト（"_s + host + u"）の有効なクッキーがありません。\n"_s + cookieFile };
        cookies = found.text;
    }
    context.transfer.setCookies(cookies, context.settings.flag(K::KeepCookies));
    return IoStatus::success();
}

void ForgetKeptCookies(CrawlContext& context)
{
    DeleteFileQuietly(CookieJarPath(context.state.SiteDir));
    context.savedCookies.clear();
    context.savedCookiesVersion.reset();
}

void RestoreKeptCookies(CrawlContext& context, const QString& siteDir)
{
    QFile cookies(CookieJarPath(siteDir));
    context.transfer.setCookies(
        cookies.open(QIODevice::ReadOnly) ? cookies.readAll() : QByteArray(), context.settings.flag(K::KeepCookies));
    context.savedCookies = context.transfer.cookies();
    context.savedCookiesVersion = context.transfer.cookiesVersion();
}

void KeepChangedCookies(CrawlContext& context)
{
    const quint64 version = context.transfer.cookiesVersion();
    if (version == context.savedCookiesVersion)
        return;
    const QByteArray cookies = context.transfer.cookies();
    if (cookies == context.savedCookies) {
        context.savedCookiesVersion = version;
        return;
    }
    const IoStatus kept = ReplaceFileAtomically(CookieJarPath(context.state.SiteDir), cookies, FileAccess::OwnerOnly);
    ReportWriteFailure(context, kept);
    if (kept) {
        context.savedCookies = cookies;
        context.savedCookiesVersion = version;
    }
}
