#pragma once
// The authority of an address as a connection sees it: the host and port a request goes to, and
// the origin (scheme, host and port) a connection can be reused for and credentials belong to.
// The port is filled in from the scheme and the host is lower-cased, so different spellings of one
// server meet:
//   HostPortOf(u"http://Example.org/a"_s)    -> "example.org:80"
//   OriginOf(u"https://example.org:8443/"_s) -> "https://example.org:8443"

#include <QString>

QString HostPortOf(const QString& address);
QString OriginOf(const QString& address);
// Whether a request to address may name referrer as its Referer: never an https page's address to
// a plain http one, which would show it to everybody on the way.
//   RefererMayGo(u"https://a/p.html"_s, u"http://b/x.gif"_s) -> false
bool RefererMayGo(const QString& referrer, const QString& address);
