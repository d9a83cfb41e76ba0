#pragma once
// The text rules of link resolution: decoding a raw attribute value, making it absolute against
// the page, the scope test, and the wire form of an address. With base http://h/a/b/ and page root
// http://h/:
//   "../../x.html" -> http://h/x.html     "./y.html" -> http://h/a/b/y.html
//   "/z.html"      -> http://h/z.html     "a&#38;b"  -> http://h/a/b/a&b
//   "//k/x"        -> http://k/x
//   "HTTPS://k/x"  -> https://k/x
//   "mailto:x", "javascript:go()", "file:///x", "#top", "/list/?page=2", "ftp://..." -> "" (not followed)

#include <QString>

// Character references (decimal and hexadecimal, as Unicode code points), "\" to "/", line breaks
// removed, then the named references &lt; &gt; &apos; &quot; &amp; in both cases, single level.
QString DecodeLinkText(const QString& raw);

// The resolution loop: drops schemes other than http and https, fragments and query-only links,
// strips a fragment, and applies "/", "../" (never above the host), "./" and plain relative links
// until the link begins with "http://" or "https://". Returns "" when the link is not followed
// (also "http:" without "//", which names no host), and for a link that would need
// a page root that is no http address (such a root would never make it absolute).
QString ResolveAgainstBase(QString link, QString base, const QString& pageRoot);

// The base for relative links of a page whose directory address is directoryAddress: itself when
// it ends in "/", else everything up to its last "/" (as a browser does for http://h/a/page).
QString RelativeBase(const QString& directoryAddress);

// Scope 3 takes every address; otherwise it must contain topRoot, and for scope 1 topBase too.
bool InScope(const QString& link, int searchType, const QString& topRoot, const QString& topBase);

// The address as sent and recorded: characters not allowed on the wire or in a record (controls,
// blank, double quote, < > \ ^ ` { | } and everything beyond ASCII) percent-encoded as UTF-8.
// Existing escapes are kept, so encoding twice changes nothing.
QString EncodeForWire(const QString& address);
