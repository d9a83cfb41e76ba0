#include "cli/helptext.h"

#include "settings/numberrules.h"
#include "settings/settingskeys.h"

#include <QList>
#include <utility>

using namespace Qt::StringLiterals;
namespace K = SettingsKeys;
namespace D = SettingsDefaults;
namespace R = NumberRules;

namespace {

QString range(const NumberRule& rule)
{
    return QString::number(rule.minimum) + u" to "_s + QString::number(rule.maximum);
}

QString onOff(const QString& key)
{
    return D::NumberOf(key) != 0 ? u"on"_s : u"off"_s;
}

const QString Text = uR"(fetchwright-cli: downloads a web site by following its links, without a window.
It uses the same settings, records, logs and list pages as the Fetchwright window, so a crawl
started here can be resumed there and the other way round.

Commands:
  crawl ADDRESS SAVE-FOLDER [options]   start a new crawl of ADDRESS into SAVE-FOLDER
  resume SAVE-FOLDER [ADDRESS] [options]  continue a stopped crawl from SAVE-FOLDER's resume list
                                        (the line of ADDRESS's host, else the first line);
                                        its options: --list, --no-list, --yes, --no-open,
                                        --connections, --interval-ms, --more-links,
                                        --no-more-links (else it goes on as it started),
                                        --retry-after, --no-retry-after, --robots, --no-robots,
                                        --keep-cookies, --no-keep-cookies, --http2, --no-http2
  list downloads                        list pages of the last crawl's downloads
  list dir FOLDER [options]             list pages of any folder's files
  list images FOLDER [options]          image list pages of a folder

Options may stand before, between or after the other arguments; "--" ends them. Blanks and line
breaks around a value are dropped (not around a user name or password).
Crawl options (each is stored in the settings, as the window's dialogs store it). An option not
given takes its stored setting, what the window used last, else the default named here, the one
the window's dialog shows. Numbers are whole, with the range given; the sizes in KB and MB may have
a fraction, such as 0.5. Full-width digits are read as the others:
  --scope 1|2|3          1 below the address, 2 the whole domain, 3 other sites too (default {scope})
  --depth N              link depth limit, {depth range}, 0 for none (default {depth})
  --exts LIST            extensions to download (default "{exts}")
  --names LIST           text a file name must contain, ";"-separated, [00-99] ranges allowed
  --not-names LIST       text a file name must not contain
  --max-kb KB, --min-kb KB  size limits in KB, {size range}, 0 for none (default {max-kb} and {min-kb})
  --skip-same, --no-skip-same   skip a file whose name exists with the same size (default {skip-same})
  --no-tree, --tree      put every file directly in the site folder / mirror the site's folders
                         (default {tree})
  --number, --no-number  number a new file whose name exists (name_0.ext) / overwrite it (default {number})
  --user NAME, --password TEXT, --password-file F   Basic-authentication credentials
  --list, --no-list      open the download list pages when the crawl ends (default {list})
  --more-links, --no-more-links  also follow, or not, what pages link through style sheets
                         (url(), @import), srcset, background, poster and a refresh (default {more-links})
  --sitemaps, --no-sitemaps  also follow, or not, the pages the site's sitemaps list (those robots.txt
                         names, else /sitemap.xml), after the top page's links (default {sitemaps})
  --access-type 0|1|2    system proxy settings, direct, or the named proxy (default {access-type})
  --proxy HOST, --port N the named proxy; the port {port range} (default {port})
  --timeout S            connect and inactivity limit in seconds, {timeout range}, 0 for none
                         (default {timeout})
  --buffer-mb MB         size of a ranged download piece in MB, {buffer range} (default {buffer})
  --scan-limit-mb MB     largest page scanned for links, in MB, {scan range} (default {scan})
  --user-agent TEXT      the User-Agent header
                         (default "{user-agent}")
  --cookies FILE         a cookies.txt file as browsers export it: its cookies of the top address's
                         host are sent where their domain and path match ("" for none)
  --connections N        requests at once, {connections range} (default {connections}); never more to
                         one host. The result is the same for every number: only the time differs
  --interval-ms N        wait at least N ms between two requests to the same host, {interval range}
                         (default {interval})
  --retry-after, --no-retry-after   wait as a 429 or 503 answer asks (Retry-After, else 5 s, at
                         most 120 s) and ask again, up to 3 times / take the answer as it is
                         (default {retry-after})
  --robots, --no-robots  follow each host's robots.txt and its Crawl-delay / ignore them
                         (default {robots})
  --keep-cookies, --no-keep-cookies   send the cookies sites set back to them for the rest of the
                         crawl, kept for a resume / keep none (default {keep-cookies})
  --http2, --no-http2    speak HTTP/2 to https servers that offer it, several requests at once on
                         each connection / HTTP/1.1 only (default {http2})
  --yes                  answer OK when the site is already in the resume list

List options (stored and defaulted as the crawl options are):
  --name BASE            base name of the page files, BASE1.html, BASE2.html, ... (default "{name}")
  --exts LIST            extensions to include, by default for dir
                         "{dir-exts}"
                         and for images "{image-exts}"
  --per-page N           files per page (dir), {per-page range} (default {per-page})
  --rows N | --single N  thumbnail table with N rows per page, {rows range} (default {rows}), or N
                         single images per page, {single range} (default {single}) (images)
  --no-subdirs           leave subfolders out
  --movies, --swf        show movies, Flash and Director movies (dir)
  --no-open              write the pages without opening a browser (nothing opens without a display)

Ctrl-C or SIGTERM stops a crawl as the Stop button does; a second Ctrl-C ends the program at once.
A crawl, resume or download list whose site folder another run (the window or another
fetchwright-cli) is using is refused, changing nothing.
HTTPS servers are checked against the system's trusted certificates; to trust another authority
(a company's or a test CA), name its PEM file in the environment variable CURL_CA_BUNDLE (or
SSL_CERT_FILE), e.g. set CURL_CA_BUNDLE=C:\certs\ca.pem on Windows.
Exit status: 0 finished, 3 stopped (resumable), 2 invalid input or a site folder in use,
1 any other failure.
)"_s;

} // namespace

QString HelpText()
{
    const auto n = [](qint64 value) { return QString::number(value); };
    const QList<std::pair<QString, QString>> values {
        { u"scope"_s, n(D::SearchType) },
        { u"depth range"_s, range(R::DeepCount) },
        { u"depth"_s, n(D::DeepCount) },
        { u"exts"_s, D::DialogDownloadExts },
        { u"size range"_s, range(R::MaxSize) },
        { u"max-kb"_s, n(D::MaxSizeKb) },
        { u"min-kb"_s, n(D::MinSizeKb) },
        { u"skip-same"_s, onOff(K::SkipSameName) },
        { u"tree"_s, D::NumberOf(K::NoDirTree) != 0 ? u"--no-tree"_s : u"--tree"_s },
        { u"number"_s, onOff(K::NumberDuplicates) },
        { u"list"_s, onOff(K::ListViewCheck) },
        { u"more-links"_s, onOff(K::MoreLinks) },
        { u"sitemaps"_s, onOff(K::FollowSitemaps) },
        { u"access-type"_s, n(D::AccessType) },
        { u"port range"_s, range(R::PortNo) },
        { u"port"_s, n(D::PortNo) },
        { u"timeout range"_s, range(R::RequestTimeout) },
        { u"timeout"_s, n(D::RequestTimeout) },
        { u"buffer range"_s, range(R::BuffLen) },
        { u"buffer"_s, n(D::BuffLenMb) },
        { u"scan range"_s, range(R::ScanLimitMb) },
        { u"scan"_s, n(D::ScanLimitMb) },
        { u"user-agent"_s, D::UserAgent },
        { u"connections range"_s, range(R::Connections) },
        { u"connections"_s, n(D::Connections) },
        { u"interval range"_s, range(R::RequestIntervalMs) },
        { u"interval"_s, n(D::RequestIntervalMs) },
        { u"retry-after"_s, onOff(K::FollowRetryAfter) },
        { u"robots"_s, onOff(K::FollowRobots) },
        { u"keep-cookies"_s, onOff(K::KeepCookies) },
        { u"http2"_s, onOff(K::Http2) },
        { u"name"_s, D::ListFileName },
        { u"dir-exts"_s, D::MakeListExts },
        { u"image-exts"_s, D::MakeGraphListExts },
        { u"per-page range"_s, range(R::MakeListFileCount) },
        { u"per-page"_s, n(D::ListCount) },
        { u"rows range"_s, range(R::MakeGraphMinNLine) },
        { u"rows"_s, n(D::MakeGraphMinNLine) },
        { u"single range"_s, range(R::MakeGraphListCount) },
        { u"single"_s, n(D::MakeGraphListCount) },
    };
    QString text = Text;
    for (const auto& [name, value] : values)
        text.replace(u'{' + name + u'}', value);
    return text;
}
