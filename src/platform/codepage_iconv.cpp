// CodePage over iconv (glibc's CP932), the only variant there is; src/CMakeLists.txt names it in the
// platform list. A system without iconv needs a variant file of its own behind the same calls.
#include "platform/codepage.h"

#include <cerrno>
#include <iconv.h>
#include <memory>

namespace {

struct IconvCloser {
    void operator()(void* handle) const { iconv_close(static_cast<iconv_t>(handle)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

IconvHandle openIconv(const char* to, const char* from)
{
    iconv_t handle = iconv_open(to, from);
    if (handle == reinterpret_cast<iconv_t>(-1))
        return nullptr;
    return IconvHandle(handle);
}

// Converts all of input; returns false at the first sequence the target cannot hold.
bool convertAll(void* handle, QByteArrayView input, QByteArray& output)
{
    iconv(static_cast<iconv_t>(handle), nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(input.data());
    size_t inLeft = size_t(input.size());
    QByteArray buffer(qsizetype(inLeft * 2 + 16), Qt::Uninitialized);
    char* out = buffer.data();
    size_t outLeft = size_t(buffer.size());
    while (inLeft > 0) {
        if (iconv(static_cast<iconv_t>(handle), &in, &inLeft, &out, &outLeft) == size_t(-1)) {
            if (errno == E2BIG) {
                const qsizetype used = out - buffer.data();
                buffer.resize(buffer.size() * 2);
                out = buffer.data() + used;
                outLeft = size_t(buffer.size() - used);
                continue;
            }
            return false;
        }
    }
    buffer.resize(out - buffer.data());
    output = buffer;
    return true;
}

bool isAscii(QStringView text)
{
    for (QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

// The code points of text, a surrogate without its partner kept as a code point of its own
// (toUcs4 would turn it into U+FFFD, and toUtf8 into "?").
QList<char32_t> codePointsOf(QStringView text, bool& loneSurrogate)
{
    QList<char32_t> points;
    points.reserve(text.size());
    loneSurrogate = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            points.append(QChar::surrogateToUcs4(c, text[i + 1]));
            ++i;
            continue;
        }
        if (c.isSurrogate())
            loneSurrogate = true;
        points.append(c.unicode());
    }
    return points;
}

} // namespace

QByteArray EncodeCodePage(QStringView text, const CodePageSubstitute& substitute)
{
    if (isAscii(text))
        return text.toLatin1();
    IconvHandle toPage = openIconv("CP932", "UTF-8");
    IconvHandle fromPage = openIconv("UTF-8", "CP932");
    if (!toPage || !fromPage)
        return text.toUtf8();

    bool loneSurrogate = false;
    const QList<char32_t> points = codePointsOf(text, loneSurrogate);

    // Fast path: the whole text converts and comes back unchanged.
    QByteArray encoded;
    QByteArray back;
    if (!loneSurrogate) {
        const QByteArray utf8 = text.toUtf8();
        if (convertAll(toPage.get(), utf8, encoded) && convertAll(fromPage.get(), encoded, back) && back == utf8)
            return encoded;
    }

    // Slow path: one code point at a time, substituting those that do not round-trip.
    QByteArray result;
    result.reserve(text.size() * 2);
    for (char32_t point : points) {
        if (point < 0x80) {
            result.append(char(point));
            continue;
        }
        const bool surrogate = point >= 0xD800 && point <= 0xDFFF;
        // Not QString::fromUcs4, which drops U+FEFF as a byte-order mark.
        const QByteArray one = surrogate ? QByteArray() : QStringView(QChar::fromUcs4(point)).toUtf8();
        QByteArray piece;
        if (!surrogate && convertAll(toPage.get(), one, piece) && convertAll(fromPage.get(), piece, back)
            && back == one) {
            result.append(piece);
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
    IconvHandle fromPage = openIconv("UTF-8", "CP932");
    if (!fromPage)
        return QString::fromLocal8Bit(bytes);

    QByteArray utf8;
    if (convertAll(fromPage.get(), bytes, utf8))
        return QString::fromUtf8(utf8);

    // Undefined bytes: decode what converts, one replacement character per byte that does not.
    QString result;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype length = 1;
        const unsigned char lead = static_cast<unsigned char>(bytes[start]);
        if ((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC))
            length = 2;
        length = qMin(length, bytes.size() - start);
        QByteArray piece;
        if (convertAll(fromPage.get(), bytes.sliced(start, length), piece)) {
            result += QString::fromUtf8(piece);
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
    IconvHandle fromPage = openIconv("UTF-8", "CP932");
    QByteArray utf8;
    if (!fromPage || !convertAll(fromPage.get(), bytes, utf8))
        return std::nullopt;
    return QString::fromUtf8(utf8);
}
