#pragma once
// Base64 of RFC 4648 (standard alphabet, "=" padding), laid out in lines of 76 characters as MIME
// does, except that the last line too ends with CR LF. Used for the Basic-authentication credential.
//   Base64Encode("abc", 3)  ->  "YWJj\r\n";   57 bytes give one full line, 58 bytes two lines.

#include <QByteArray>
#include <QString>
#include <functional>

// yield is called whenever the input position is a multiple of 100, so long inputs keep a window live.
QString Base64Encode(const QByteArray& bytes, qsizetype count, const std::function<void()>& yield = {});
QChar Base64Char(unsigned char value);
