#pragma once
// The proxy the user chose in the system's own settings, where the system keeps one for every
// program (Windows' Internet settings). Elsewhere the user's proxy is in the environment
// (http_proxy and its kin), which libcurl reads itself, and there is nothing here to read.
// One variant per system, chosen by the build (systemproxy_posix.cpp).
//   UserSystemProxy() // on Windows, say { u"http=p:8080;https=p:8443"_s, u"<local>;*.example.com"_s, {} }

#include <QString>
#include <optional>

struct SystemProxy {
    QString servers; // "host:port" for every scheme, or per scheme "http=host:port;https=host:port"; empty: none
    QString bypass; // hosts reached directly, separated by ';' or white space; "<local>": names without a dot
    QString script; // the address of an automatic configuration script; empty: none
};

// Read afresh on every call; nothing where the system keeps no such settings or they cannot be read.
std::optional<SystemProxy> UserSystemProxy();
