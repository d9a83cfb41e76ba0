#include "storage/localname.h"

#include "address/addressfunctions.h"
#include "platform/codepage.h"

#include <QByteArray>
#include <QStringDecoder>

namespace {

} // namespace

QString DecodeLocalName(const QString& segment)
{
    if (!segment.contains(u'%'))
        return segment;
    // The segment as bytes: escapes give their byte, everything else its UTF-8 form.
    QByteArray bytes;
    bytes.reserve(segment.size());
    qsizetype plainStart = 0;
    for (qsizetype i = 0; i + 2 < segment.size(); ++i) {
        if (segment[i] != u'%')
            continue;
        const int high = HexDigitValue(segment[i + 1].unicode());
        const int low = HexDigitValue(segment[i + 2].unicode());
        if (high < 0 || low < 0)
            continue;
        bytes += QStringView(segment).mid(plainStart, i - plainStart).toUtf8();
        bytes.append(char(high * 16 + low));
        i += 2;
        plainStart = i + 1;
    }
    bytes += QStringView(segment).mid(plainStart).toUtf8();
    QStringDecoder utf8(
        QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString decoded = utf8.decode(bytes);
    if (!utf8.hasError())
        return decoded;
    return DecodeCodePageExactly(bytes).value_or(segment);
}
