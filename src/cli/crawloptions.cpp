#include "cli/crawloptions.h"

#include "crawl/httpheaders.h"
#include "platform/filesystem.h"
#include "settings/numberrules.h"
#include "settings/settingskeys.h"

#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;
namespace K = SettingsKeys;
namespace R = NumberRules;

const QStringList CrawlValueOptions { u"--scope"_s, u"--depth"_s, u"--exts"_s, u"--names"_s, u"--not-names"_s,
    u"--max-kb"_s, u"--min-kb"_s, u"--user"_s, u"--password"_s, u"--password-file"_s, u"--access-type"_s, u"--proxy"_s,
    u"--port"_s, u"--timeout"_s, u"--buffer-mb"_s, u"--scan-limit-mb"_s, u"--user-agent"_s, u"--connections"_s,
    u"--interval-ms"_s, u"--cookies"_s };
const QStringList ResumeValueOptions { u"--connections"_s, u"--interval-ms"_s };

namespace {

// The options of how the crawl uses the network and which links it looks for, for a new crawl and
// a resumed one alike; false when option is none of them or its value is refused (then r has failed).
bool readConnectionOption(ArgumentReader& r, const QString& option, bool& taken)
{
    taken = true;
    if (option == u"--more-links"_s || option == u"--no-more-links"_s) {
        r.flag(K::MoreLinks, option == u"--more-links"_s);
        return true;
    }
    if (option == u"--connections"_s)
        return r.number(option, R::Connections);
    if (option == u"--interval-ms"_s)
        return r.number(option, R::RequestIntervalMs);
    if (option == u"--retry-after"_s || option == u"--no-retry-after"_s) {
        r.flag(K::FollowRetryAfter, option == u"--retry-after"_s);
        return true;
    }
    if (option == u"--robots"_s || option == u"--no-robots"_s) {
        r.flag(K::FollowRobots, option == u"--robots"_s);
        return true;
    }
    if (option == u"--keep-cookies"_s || option == u"--no-keep-cookies"_s) {
        r.flag(K::KeepCookies, option == u"--keep-cookies"_s);
        return true;
    }
    if (option == u"--http2"_s || option == u"--no-http2"_s) {
        r.flag(K::Http2, option == u"--http2"_s);
        return true;
    }
    taken = false;
    return true;
}

} // namespace

bool ReadCrawlOptions(ArgumentReader& r)
{
    QString user;
    QString password;
    bool credential = false;
    while (r.more()) {
        const QString option = r.next();
        QString text;
        if (option == u"--scope"_s) {
            if (!r.choice(option, K::SearchType, { u"1"_s, u"2"_s, u"3"_s }, u"--scope は 1、2 または 3 です。"_s))
                return false;
        } else if (option == u"--depth"_s) {
            if (!r.number(option, R::DeepCount))
                return false;
        } else if (option == u"--exts"_s) {
            if (!r.list(option, K::DownloadExts))
                return false;
        } else if (option == u"--names"_s) {
            if (!r.list(option, K::OnDownFileNames))
                return false;
        } else if (option == u"--not-names"_s) {
            if (!r.list(option, K::NotDownFileNames))
                return false;
        } else if (option == u"--max-kb"_s) {
            if (!r.number(option, R::MaxSize))
                return false;
        } else if (option == u"--min-kb"_s) {
            if (!r.number(option, R::MinSize))
                return false;
        } else if (option == u"--skip-same"_s || option == u"--no-skip-same"_s) {
            r.flag(K::SkipSameName, option == u"--skip-same"_s);
        } else if (option == u"--no-tree"_s || option == u"--tree"_s) {
            r.flag(K::NoDirTree, option == u"--no-tree"_s);
        } else if (option == u"--number"_s || option == u"--no-number"_s) {
            r.flag(K::NumberDuplicates, option == u"--number"_s);
        } else if (option == u"--list"_s || option == u"--no-list"_s) {
            r.flag(K::ListViewCheck, option == u"--list"_s);
        } else if (option == u"--sitemaps"_s || option == u"--no-sitemaps"_s) {
            r.flag(K::FollowSitemaps, option == u"--sitemaps"_s);
        } else if (option == u"--user"_s) {
            if (!r.rawValue(option, user))
                return false;
            credential = true;
        } else if (option == u"--password"_s) {
            if (!r.rawValue(option, password))
                return false;
            credential = true;
        } else if (option == u"--password-file"_s) {
            if (!r.value(option, text))
                return false;
            QFile file(text);
            if (!file.open(QIODevice::ReadOnly))
                return r.fail(u"パスワードファイルを読めません。\n"_s + FileFailure(file, text).error);
            password = QString::fromUtf8(file.readAll()).section(u'\n', 0, 0).remove(u'\r');
            credential = true;
        } else if (option == u"--cookies"_s) {
            if (!r.value(option, text))
                return false;
            // An empty name stops using a file named before.
            QFile file(text);
            if (!text.isEmpty() && !file.open(QIODevice::ReadOnly))
                return r.fail(u"クッキーファイルを読めません。\n"_s + FileFailure(file, text).error);
            r.command.settings.append({ K::CookieFile, text.isEmpty() ? text : QFileInfo(text).absoluteFilePath() });
        } else if (option == u"--access-type"_s) {
            if (!r.choice(
                    option, K::AccessType, { u"0"_s, u"1"_s, u"2"_s }, u"--access-type は 0、1 または 2 です。"_s))
                return false;
        } else if (option == u"--proxy"_s) {
            if (!r.value(option, text))
                return false;
            r.command.settings.append({ K::ProxyAddress, text });
        } else if (option == u"--port"_s) {
            if (!r.number(option, R::PortNo))
                return false;
        } else if (option == u"--timeout"_s) {
            if (!r.number(option, R::RequestTimeout))
                return false;
        } else if (option == u"--buffer-mb"_s) {
            if (!r.number(option, R::BuffLen))
                return false;
        } else if (option == u"--scan-limit-mb"_s) {
            if (!r.number(option, R::ScanLimitMb))
                return false;
        } else if (option == u"--user-agent"_s) {
            if (!r.value(option, text))
                return false;
            r.command.settings.append({ K::UserAgent, text });
        } else if (option == u"--yes"_s) {
            r.command.yes = true;
        } else if (option == u"--no-open"_s) {
            r.command.noOpen = true;
        } else {
            bool taken = false;
            if (!readConnectionOption(r, option, taken))
                return false;
            if (!taken)
                return r.fail(u"不明なオプションです: "_s + option);
        }
    }
    if (credential)
        r.command.settings.append({ K::AuthString, MakeBasicCredential(user, password) });
    return true;
}

bool ReadResumeOptions(ArgumentReader& r)
{
    while (r.more()) {
        const QString option = r.next();
        if (option == u"--list"_s || option == u"--no-list"_s)
            r.flag(K::ListViewCheck, option == u"--list"_s);
        else if (option == u"--yes"_s)
            r.command.yes = true;
        else if (option == u"--no-open"_s)
            r.command.noOpen = true;
        else {
            bool taken = false;
            if (!readConnectionOption(r, option, taken))
                return false;
            if (!taken)
                return r.fail(u"不明なオプションです: "_s + option);
        }
    }
    return true;
}
