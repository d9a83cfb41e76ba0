#pragma once
// Reading raw response header blocks and building request header values.
//   HeaderValue("HTTP/1.1 200 OK\r\nContent-Length:   1234\r\n", "content-length:") -> "1234"

#include <QByteArray>
#include <QString>

// The value after the first occurrence of name (compared without regard to case, name including
// its colon), up to the line end, leading blanks skipped; empty when absent or unterminated.
QString HeaderValue(const QString& headers, const QString& name);
// The first line of a header block.
QString StatusLine(const QString& headers);
// The status code of a status line, or 0.
int StatusCode(const QString& statusLine);
// The protocol number for an address's scheme, or -1 to keep the current one.
int ProtocolOf(const QString& address);
// "Authorization: Basic" credential for user and password: Base64 of their UTF-8 bytes, one line.
QString MakeBasicCredential(const QString& userName, const QString& password);
// Whether an entity tag is strong (a weak W/ tag never satisfies If-Match).
bool IsStrongEntityTag(const QString& etag);
// The charset named in a Content-Type value, lower case, or empty.
QString CharsetOf(const QString& contentType);
// Page text decoded by charset: the given one, then a meta charset (or a sheet's @charset), then
// UTF-8 when valid, else CP932. Shift_JIS and EUC-JP are read on every system. ok is false when the bytes are not valid
// text in the charset used.
QString DecodePageText(const QByteArray& bytes, const QString& charset, bool* ok);
// "bytes 100-199/1000" -> 100; -1 when absent or malformed.
qint64 ContentRangeStart(const QString& headers);
