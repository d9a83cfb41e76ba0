// CodePage over Windows' own code page 932 conversion; src/CMakeLists.txt names it for Windows. The
// rules are those of the iconv variant: a character that does not come back unchanged is handed to
// the substitute, and undefined bytes decode to U+FFFD one byte at a time.
#include "platform/codepage.h"

#include <windows.h>

namespace {

constexpr UINT CodePage932 = 932;

const wchar_t* wide(QStringView text)
{
    return reinterpret_cast<const wchar_t*>(text.utf16());
}

// The bytes of text when every character has a code of its own (no best fit, no default character).
std::optional<QByteArray> encodeExactly(QStringView text)
{
    if (text.isEmpty())
        return QByteArray();
    BOOL usedDefault = FALSE;
    const int size = WideCharToMultiByte(
        CodePage932, WC_NO_BEST_FIT_CHARS, wide(text), int(text.size()), nullptr, 0, nullptr, &usedDefault);
    if (size <= 0 || usedDefault)
        return std::nullopt;
    QByteArray bytes(size, Qt::Uninitialized);
    WideCharToMultiByte(
        CodePage932, WC_NO_BEST_FIT_CHARS, wide(text), int(text.size()), bytes.data(), size, nullptr, &usedDefault);
    if (usedDefault)
        return std::nullopt;
    return bytes;
}

std::optional<QString> decodeExactly(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return QString();
    const int size
        = MultiByteToWideChar(CodePage932, MB_ERR_INVALID_CHARS, bytes.data(), int(bytes.size()), nullptr, 0);
    if (size <= 0)
        return std::nullopt;
    QString text(size, Qt::Uninitialized);
    MultiByteToWideChar(CodePage932, MB_ERR_INVALID_CHARS, bytes.data(), int(bytes.size()),
        reinterpret_cast<wchar_t*>(text.data()), size);
    return text;
}

// The text's bytes when it converts and comes back unchanged.
std::optional<QByteArray> roundTrip(QStringView text)
{
    const std::optional<QByteArray> bytes = encodeExactly(text);
    if (!bytes)
        return std::nullopt;
    const std::optional<QString> back = decodeExactly(*bytes);
    if (!back || *back != text)
        return std::nullopt;
    return bytes;
}

bool isAscii(QStringView text)
{
    for (QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

} // namespace

QByteArray EncodeCodePage(QStringView text, const CodePageSubstitute& substitute)
{
    if (isAscii(text))
        return text.toLatin1();
    if (const std::optional<QByteArray> whole = roundTrip(text))
        return *whole;

    // One code point at a time, a surrogate without its partner kept as a code point of its own.
    QByteArray result;
    result.reserve(text.size() * 2);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.unicode() < 0x80) {
            result.append(char(c.unicode()));
            continue;
        }
        const bool pair = c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        const QStringView one = text.sliced(i, pair ? 2 : 1);
        const char32_t point = pair ? QChar::surrogateToUcs4(c, text[i + 1]) : c.unicode();
        i += pair ? 1 : 0;
        const std::optional<QByteArray> piece = c.isSurrogate() && !pair ? std::nullopt : roundTrip(one);
        if (piece) {
            result.append(*piece);
        } else {
            const QString replacement = substitute ? substitute(point) : QStringLiteral("?");
            result.append(EncodeCodePage(replacement, nullptr));
        }
    }
    return result;
}

QString DecodeCodePage(QByteArrayView bytes)
{
    if (const std::optional<QString> whole = decodeExactly(bytes))
        return *whole;
    // Undefined bytes: decode what converts, one replacement character per byte that does not.
    QString result;
    qsizetype start = 0;
    while (start < bytes.size()) {
        const unsigned char lead = static_cast<unsigned char>(bytes[start]);
        const qsizetype length = qMin<qsizetype>(
            (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC) ? 2 : 1, bytes.size() - start);
        if (const std::optional<QString> piece = decodeExactly(bytes.sliced(start, length))) {
            result += *piece;
            start += length;
        } else {
            result += QChar(QChar::ReplacementCharacter);
            start += 1;
        }
    }
    return result;
}

std::optional<QString> DecodeCodePageExactly(QByteArrayView bytes)
{
    return decodeExactly(bytes);
}
