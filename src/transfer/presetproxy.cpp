#include "transfer/presetproxy.h"

#include "address/authority.h"

#include <QRegularExpression>
#include <QStringList>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

QStringList entriesOf(const QString& text)
{
    static const QRegularExpression separators(u"[;\\s]+"_s);
    return text.split(separators, Qt::SkipEmptyParts);
}

// A bypass entry in libcurl's NOPROXY terms, which match a host and every name under it and take
// address ranges as CIDR; empty for a wildcard they cannot say ("*web*"), whose hosts then use the
// proxy.
QString noProxyEntryOf(const QString& entry)
{
    // Windows takes "[scheme://]host[:port]"; libcurl matches the host alone.
    static const QRegularExpression form(
        u"^(?:[a-z]+://)?([^:/]+)(?::\\d*)?/?$"_s, QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = form.match(entry);
    QString host = match.hasMatch() ? match.captured(1) : entry;
    if (host.startsWith(u"*."_s))
        host = host.mid(1); // ".example.com", which libcurl takes for example.com itself too
    if (!host.contains(u'*'))
        return host;
    // "10.*", "192.168.*": the addresses that start with these numbers.
    QStringList octets = host.split(u'.');
    if (octets.size() < 2 || octets.size() > 4 || octets.takeLast() != u"*"_s)
        return {};
    for (const QString& octet : std::as_const(octets)) {
        bool number = false;
        if (octet.toUInt(&number) > 255 || !number)
            return {};
    }
    const int bits = 8 * int(octets.size());
    while (octets.size() < 4)
        octets.append(u"0"_s);
    return octets.join(u'.') + u'/' + QString::number(bits);
}

} // namespace

QByteArray PresetProxy::proxyFor(const QString& address) const
{
    const QByteArray& proxy = address.startsWith(u"https:"_s, Qt::CaseInsensitive) ? https : http;
    if (proxy.isEmpty() || !bypassLocal)
        return proxy;
    const QString hostPort = HostPortOf(address);
    const QStringView host = QStringView(hostPort).left(hostPort.lastIndexOf(u':'));
    return host.contains(u'.') || host.startsWith(u'[') ? proxy : QByteArray();
}

std::shared_ptr<const PresetProxy> PresetProxyOf(const std::optional<SystemProxy>& system)
{
    // The variables libcurl reads for http and https (on Windows a name is either case).
    for (const char* name : { "http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY" }) {
        if (!qEnvironmentVariableIsEmpty(name))
            return nullptr;
    }
    if (!system)
        return nullptr;
    auto preset = std::make_shared<PresetProxy>();
    // "host:port" serves both schemes; "http=host:port;https=host:port" each its own, and a scheme
    // without one goes direct. Other schemes' entries (ftp, socks) serve nothing here.
    for (const QString& entry : entriesOf(system->servers)) {
        const qsizetype equals = entry.indexOf(u'=');
        const QString scheme = entry.left(std::max<qsizetype>(equals, 0)).toLower();
        const QByteArray proxy = entry.mid(equals + 1).toUtf8();
        if (scheme.isEmpty() || scheme == u"http"_s)
            preset->http = proxy;
        if (scheme.isEmpty() || scheme == u"https"_s)
            preset->https = proxy;
    }
    QStringList noProxy;
    for (const QString& entry : entriesOf(system->bypass)) {
        if (entry.compare(u"<local>"_s, Qt::CaseInsensitive) == 0)
            preset->bypassLocal = true;
        else if (entry == u"*"_s)
            preset->http = preset->https = {};
        else if (const QString host = noProxyEntryOf(entry); !host.isEmpty())
            noProxy.append(host);
    }
    preset->noProxy = noProxy.join(u',').toUtf8();
    preset->script = system->script;
    return preset;
}

std::shared_ptr<const PresetProxy> ReadPresetProxy()
{
    return PresetProxyOf(UserSystemProxy());
}
