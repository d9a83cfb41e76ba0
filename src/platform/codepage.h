#pragma once
// Text to and from the code page of the record files and list pages (CP932, Japanese Shift_JIS),
// which is the same on every platform so that records move between machines unchanged.
// A character the code page cannot carry and get back unchanged (an emoji, a hangul syllable, or
// U+00A5, which CP932 would turn into a backslash, or a surrogate without its partner) is handed to
// the caller's substitute, e.g.
//   EncodeCodePage(u"a😀", [](char32_t c) { return u"&#x%1;"_s.arg(c, 0, 16); })  ->  "a&#x1f600;"

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

using CodePageSubstitute = std::function<QString(char32_t)>;

QByteArray EncodeCodePage(QStringView text, const CodePageSubstitute& substitute);
// Bytes the code page does not define become U+FFFD.
QString DecodeCodePage(QByteArrayView bytes);
// The text when every byte is defined in the code page; nullopt otherwise.
std::optional<QString> DecodeCodePageExactly(QByteArrayView bytes);
// The bytes when every character has a code and comes back from it unchanged; nullopt otherwise.
std::optional<QByteArray> EncodeCodePageExactly(QStringView text);

// Text of pages in EUC-JP, the other code page Japanese sites write: bytes it does not define
// become U+FFFD.
QString DecodeEucJp(QByteArrayView bytes);
