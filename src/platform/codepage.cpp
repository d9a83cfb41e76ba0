// The code page's rules, the same on every system: ASCII passes as it is, a character that does not
// come back unchanged goes to the substitute, and an undefined byte decodes to U+FFFD. The variant
// files (codepage_iconv.cpp, codepage_win.cpp) only convert exactly or not at all.
#include "platform/codepage.h"

namespace {

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
    if (const std::optional<QByteArray> whole = EncodeCodePageExactly(text))
        return *whole;

    // One code point at a time, a surrogate without its partner kept as a code point of its own
    // (toUcs4 would turn it into U+FFFD, and toUtf8 into "?").
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
        const std::optional<QByteArray> piece = c.isSurrogate() && !pair ? std::nullopt : EncodeCodePageExactly(one);
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
    bool ascii = true;
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii)
        return QString::fromLatin1(bytes);
    if (const std::optional<QString> whole = DecodeCodePageExactly(bytes))
        return *whole;
    // Undefined bytes: decode what converts, one replacement character per byte that does not.
    QString result;
    qsizetype start = 0;
    while (start < bytes.size()) {
        const unsigned char lead = static_cast<unsigned char>(bytes[start]);
        const qsizetype length = qMin<qsizetype>(
            (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC) ? 2 : 1, bytes.size() - start);
        if (const std::optional<QString> piece = DecodeCodePageExactly(bytes.sliced(start, length))) {
            result += *piece;
            start += length;
        } else {
            result += QChar(QChar::ReplacementCharacter);
            start += 1;
        }
    }
    return result;
}
