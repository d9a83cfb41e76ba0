#include "transfer/curlrequest.h"

#include "address/authority.h"
#include "transfer/transfercontrol.h"

#include <QList>
#include <QUrl>
#include <algorithm>
#include <mutex>

using namespace Qt::StringLiterals;

void EnsureCurlInitialised()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

QByteArray HeaderBytes(const QString& text)
{
    const bool latin1 = std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() <= 0xff; });
    return latin1 ? text.toLatin1() : text.toUtf8();
}

int StatusCodeOf(const QByteArray& block)
{
    const qsizetype lineEnd = block.indexOf('\n');
    const QList<QByteArray> parts = block.left(lineEnd).simplified().split(' ');
    return parts.size() >= 2 ? parts.at(1).toInt() : 0;
}

bool IsFollowedRedirect(const QByteArray& block)
{
    const int status = StatusCodeOf(block);
    if (status != 301 && status != 302 && status != 303 && status != 307 && status != 308)
        return false;
    for (const QByteArray& line : block.split('\n')) {
        if (line.size() > 9 && line.left(9).toLower() == "location:" && !line.mid(9).trimmed().isEmpty())
            return true;
    }
    return false;
}

curl_slist* HeaderListOf(const QStringList& lines)
{
    curl_slist* list = nullptr;
    bool hasAccept = false;
    bool hasHost = false;
    for (const QString& line : lines) {
        hasAccept = hasAccept || line.startsWith(u"Accept:"_s, Qt::CaseInsensitive);
        hasHost = hasHost || line.startsWith(u"Host:"_s, Qt::CaseInsensitive);
    }
    // libcurl would move a given Host line to the front; an empty one first keeps it in its place.
    if (hasHost)
        list = curl_slist_append(list, "Host:");
    for (const QString& line : lines) {
        QByteArray bytes = HeaderBytes(line);
        // libcurl drops "Name:" lines; "Name;" is its way to send a header with an empty value.
        const qsizetype colon = bytes.indexOf(':');
        if (colon > 0 && bytes.mid(colon + 1).trimmed().isEmpty())
            bytes = bytes.left(colon) + ';';
        list = curl_slist_append(list, bytes.constData());
    }
    if (!hasAccept)
        list = curl_slist_append(list, "Accept:"); // keeps libcurl's "Accept: */*" out
    return list;
}

QStringList RedirectedLines(const QStringList& lines, const QString& from, const QString& to)
{
    const QUrl target(to);
    const bool sameOrigin = OriginOf(from) == OriginOf(to);
    QString host = target.host(QUrl::FullyEncoded);
    if (host.contains(u':'))
        host = u'[' + host + u']';
    const int defaultPort = target.scheme() == u"https"_s ? 443 : 80;
    if (target.port() != -1 && target.port() != defaultPort)
        host += u':' + QString::number(target.port());
    QStringList next;
    for (const QString& line : lines) {
        if (line.startsWith(u"Host:"_s, Qt::CaseInsensitive))
            next.append(u"Host: "_s + host);
        else if (line.startsWith(u"Referer:"_s, Qt::CaseInsensitive) && !RefererMayGo(line.mid(8).trimmed(), to))
            continue;
        else if (sameOrigin
            || !(line.startsWith(u"Authorization:"_s, Qt::CaseInsensitive)
                || line.startsWith(u"Cookie:"_s, Qt::CaseInsensitive)))
            next.append(line); // credentials stay with the origin they were meant for
    }
    return next;
}

void ApplyVerb(CURL* easy, const QByteArray& verb, const QByteArray& body, bool http2)
{
    // A libcurl without HTTP/2 refuses the version and speaks HTTP/1.1.
    if (!http2 || curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_2TLS)) != CURLE_OK)
        curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    // Waits for a connection being opened to the host to tell whether it multiplexes, rather than
    // opening a second one.
    curl_easy_setopt(easy, CURLOPT_PIPEWAIT, http2 ? 1L : 0L);
    if (verb == "HEAD") {
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, nullptr);
        return;
    }
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    const bool plain = verb.isEmpty() || verb == "GET" || (verb == "POST" && !body.isEmpty());
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, plain ? nullptr : verb.constData());
    if (!body.isEmpty()) {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body.size()));
        curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, body.constData());
    }
}

void ApplyAccess(CURL* easy, const TransferControl::Settings& settings, const QString& address)
{
    switch (settings.accessType) {
    case TransferControl::AccessDirect:
        curl_easy_setopt(easy, CURLOPT_PROXY, "");
        curl_easy_setopt(easy, CURLOPT_NOPROXY, nullptr);
        break;
    case TransferControl::AccessNamedProxy:
        curl_easy_setopt(easy, CURLOPT_PROXY, HeaderBytes(settings.proxy).constData());
        // The named proxy serves every host, whatever no_proxy in the environment says.
        curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
        break;
    default:
        if (const PresetProxy* preset = settings.presetProxy.get()) {
            // An empty proxy keeps the environment's out too: the system's settings send this request direct.
            curl_easy_setopt(easy, CURLOPT_PROXY, preset->proxyFor(address).constData());
            curl_easy_setopt(easy, CURLOPT_NOPROXY, preset->noProxy.constData());
            break;
        }
        curl_easy_setopt(easy, CURLOPT_PROXY, nullptr);
        curl_easy_setopt(easy, CURLOPT_NOPROXY, nullptr);
        break;
    }
}

QString ConnectionDestinationOf(const TransferControl::Settings& settings, const QString& address)
{
    // An https request tunnels through the proxy on a connection of its own origin.
    if (address.startsWith(u"https:"_s, Qt::CaseInsensitive))
        return OriginOf(address);
    QString proxy;
    if (settings.accessType == TransferControl::AccessNamedProxy)
        proxy = settings.proxy;
    else if (settings.accessType != TransferControl::AccessDirect && settings.presetProxy)
        proxy = QString::fromUtf8(settings.presetProxy->proxyFor(address));
    return proxy.isEmpty() ? OriginOf(address) : proxy;
}

void ApplyTrustStore(CURL* easy)
{
    // Certificates are always verified. libcurl reads none of the variables that users of curl know
    // for an extra trust store, such as an intranet's own CA, so they are honoured here.
    QByteArray caBundle = qgetenv("CURL_CA_BUNDLE");
    if (caBundle.isEmpty())
        caBundle = qgetenv("SSL_CERT_FILE");
    if (!caBundle.isEmpty())
        curl_easy_setopt(easy, CURLOPT_CAINFO, caBundle.constData());
}

void ApplyTimeout(CURL* easy, int seconds)
{
    const long timeout = std::max(0, seconds);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, timeout);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, timeout > 0 ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, timeout);
}

void LoadCookies(CURL* easy, const QList<QByteArray>& lines)
{
    curl_easy_setopt(easy, CURLOPT_COOKIELIST, "ALL");
    // An empty file name starts the engine at the next transfer without reading anything.
    curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
    for (const QByteArray& line : lines)
        curl_easy_setopt(easy, CURLOPT_COOKIELIST, line.constData());
}

QList<QByteArray> CookiesOf(CURL* easy)
{
    curl_slist* list = nullptr;
    QList<QByteArray> lines;
    if (curl_easy_getinfo(easy, CURLINFO_COOKIELIST, &list) != CURLE_OK)
        return lines;
    for (const curl_slist* item = list; item; item = item->next)
        lines.append(QByteArray(item->data));
    curl_slist_free_all(list);
    return lines;
}

QString TransferControl::errorReason(int errorCode)
{
    switch (CURLcode(errorCode)) {
    case CURLE_UNSUPPORTED_PROTOCOL:
        return u"対応していないプロトコルです。"_s;
    case CURLE_URL_MALFORMAT:
        return u"アドレスの形式が正しくありません。"_s;
    case CURLE_COULDNT_RESOLVE_PROXY:
        return u"プロキシサーバのホスト名が見つかりません。"_s;
    case CURLE_COULDNT_RESOLVE_HOST:
        return u"ホスト名が見つかりません。"_s;
    case CURLE_COULDNT_CONNECT:
        return u"サーバに接続できません。接続を拒否されたか、サーバが動いていません。"_s;
    case CURLE_WEIRD_SERVER_REPLY:
        return u"サーバの応答が正しくありません。"_s;
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
        return u"HTTP/2の通信でエラーが起きました。"_s;
    case CURLE_PARTIAL_FILE:
        return u"データの途中で接続が切れました。"_s;
    case CURLE_WRITE_ERROR:
        return u"受け取ったデータを書き込めません。"_s;
    case CURLE_OPERATION_TIMEDOUT:
        return u"時間内に応答がありません（タイムアウト）。"_s;
    case CURLE_SSL_CONNECT_ERROR:
        return u"SSL/TLSの接続を確立できません。"_s;
    case CURLE_ABORTED_BY_CALLBACK:
        return u"中止しました。"_s;
    case CURLE_TOO_MANY_REDIRECTS:
        return u"リダイレクトが多すぎます。"_s;
    case CURLE_GOT_NOTHING:
        return u"サーバが何も返さずに接続を閉じました。"_s;
    case CURLE_SEND_ERROR:
        return u"データを送れません。接続が切れました。"_s;
    case CURLE_RECV_ERROR:
        return u"データを受け取れません。接続が切れました。"_s;
    case CURLE_PEER_FAILED_VERIFICATION:
        return u"サーバの証明書を信頼できません。"_s;
    case CURLE_SSL_CACERT_BADFILE:
        return u"証明書ストアを読み込めません。"_s;
    case CURLE_OUT_OF_MEMORY: // what libcurl says of a single header it would not make room for
        return u"応答のヘッダが大きすぎるか、メモリが足りません。"_s;
    case CURLE_LOGIN_DENIED:
    case CURLE_AUTH_ERROR:
        return u"認証に失敗しました。"_s;
    default:
        return u"通信エラーが起きました（エラー番号 %1）。"_s.arg(errorCode);
    }
}
