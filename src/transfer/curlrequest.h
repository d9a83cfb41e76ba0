#pragma once
// How one request is put to libcurl, and the rules for the request that follows a redirect: the
// parts of the libcurl transfer control that are plain functions of their inputs.
//   curl_slist* list = HeaderListOf({ u"Host: h"_s, u"X-Empty:"_s }); // "Host:", "Host: h", "X-Empty;", "Accept:"
//   RedirectedLines({ u"Host: a"_s, u"Authorization: x"_s }, u"http://a/"_s, u"http://b/"_s) // { "Host: b" }

#include "transfer/transfercontrol.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <curl/curl.h>

// libcurl's global set-up, once per process before any handle is made.
void EnsureCurlInitialised();
// Header text is Latin-1 by tradition; anything beyond it can only travel as UTF-8.
QByteArray HeaderBytes(const QString& text);
// The status code of a header block's status line; 0 when there is none.
int StatusCodeOf(const QByteArray& block);
// Whether a response is a redirect that is followed, as browsers do; other 3xx answers are final.
bool IsFollowedRedirect(const QByteArray& block);
// The caller's lines as libcurl sends them as given and in their order (the list is the caller's
// to free with curl_slist_free_all).
curl_slist* HeaderListOf(const QStringList& lines);
// The lines of the request that follows a redirect from one address to another: a given Host line
// names the new host, credentials (Authorization, Cookie) stay with their origin, and an https
// Referer is not sent on to plain http.
QStringList RedirectedLines(const QStringList& lines, const QString& from, const QString& to);
// The verb of a request and its body, and the HTTP version it offers: HTTP/2 to an https server
// when http2, else HTTP/1.1.
void ApplyVerb(CURL* easy, const QByteArray& verb, const QByteArray& body, bool http2);
// The proxy of a request to address by the settings' access type, the trust store and the time limits.
void ApplyAccess(CURL* easy, const TransferControl::Settings& settings, const QString& address);
// Where a request to address connects: the proxy that carries a plain http request (named, or the
// system's), else the address's origin.
QString ConnectionDestinationOf(const TransferControl::Settings& settings, const QString& address);
void ApplyTrustStore(CURL* easy);
void ApplyTimeout(CURL* easy, int seconds);
// Replaces the cookies of a handle by lines of the cookies.txt format, its cookie engine started so
// that it keeps what answers set too.
void LoadCookies(CURL* easy, const QList<QByteArray>& lines);
// The cookies a handle holds, as cookies.txt lines.
QList<QByteArray> CookiesOf(CURL* easy);
