#include "codec/base64.h"

QChar Base64Char(unsigned char value)
{
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    return QChar(QLatin1Char(alphabet[value & 0x3F]));
}

QString Base64Encode(const QByteArray& bytes, qsizetype count, const std::function<void()>& yield)
{
    count = qBound(qsizetype(0), count, bytes.size());
    QString encoded;
    encoded.reserve((count + 2) / 3 * 4);
    const auto byteAt = [&](qsizetype i) { return static_cast<unsigned char>(bytes[i]); };
    for (qsizetype i = 0; i < count; i += 3) {
        if (yield && i % 100 == 0)
            yield();
        const unsigned char b0 = byteAt(i);
        const unsigned char b1 = i + 1 < count ? byteAt(i + 1) : 0;
        const unsigned char b2 = i + 2 < count ? byteAt(i + 2) : 0;
        encoded += Base64Char(b0 >> 2);
        encoded += Base64Char(((b0 & 0x03) << 4) | (b1 >> 4));
        encoded += i + 1 < count ? Base64Char(((b1 & 0x0F) << 2) | (b2 >> 6)) : QChar(u'=');
        encoded += i + 2 < count ? Base64Char(b2 & 0x3F) : QChar(u'=');
    }
    QString lines;
    lines.reserve(encoded.size() + encoded.size() / 76 * 2 + 2);
    for (qsizetype at = 0; at < encoded.size(); at += 76) {
        lines += QStringView(encoded).mid(at, 76);
        lines += u"\r\n";
    }
    return lines;
}
