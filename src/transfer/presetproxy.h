#pragma once
// The proxy of the system's own settings (platform/systemproxy.h) as libcurl takes it, worked out
// once as a crawl starts, so that a request only picks its part:
//   PresetProxyOf(SystemProxy { u"http=p:8080;https=p:8443"_s, u"<local>;*.example.com;10.*"_s, {} })
//     -> http "p:8080", https "p:8443", noProxy ".example.com,10.0.0.0/8", bypassLocal
// A proxy named in the environment (http_proxy and its kin) wins over the system's: its user meant it.

#include "platform/systemproxy.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

struct PresetProxy {
    QByteArray http; // the proxy of http addresses; empty: none
    QByteArray https; // the proxy of https addresses
    QByteArray noProxy; // the bypass list as libcurl's NOPROXY
    bool bypassLocal = false; // "<local>": names without a dot go direct, which NOPROXY cannot say
    QString script; // an automatic configuration script, which is not run

    // The proxy of a request to address; empty: the request goes direct.
    QByteArray proxyFor(const QString& address) const;
    bool operator==(const PresetProxy&) const = default;
};

// What the preconfigured access uses, given the system's settings; none, so that libcurl reads the
// environment, when the environment names a proxy or the system keeps no settings of its own.
std::shared_ptr<const PresetProxy> PresetProxyOf(const std::optional<SystemProxy>& system);
// The same of the system's settings as they are now.
std::shared_ptr<const PresetProxy> ReadPresetProxy();
