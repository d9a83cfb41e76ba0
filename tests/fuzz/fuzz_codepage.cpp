// The code page on any UTF-16 text, lone surrogates included: only characters it cannot hold go to
// the substitute, and a record field written through it reads back unchanged. Any bytes decode,
// never to more characters than there are bytes.

#include "platform/codepage.h"
#include "records/recordline.h"

#include "fuzzsupport.h"

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    FuzzedDataProvider data(bytes, size);
    if (data.ConsumeBool()) {
        const QByteArray raw = QByteArray::fromStdString(data.ConsumeRemainingBytesAsString());
        const QString decoded = DecodeCodePage(raw);
        FUZZ_CHECK(decoded.size() <= raw.size(), decoded);
        return 0;
    }

    const QString text = Utf16Text(data.ConsumeRemainingBytesAsString());
    QList<char32_t> substituted;
    const QByteArray encoded = EncodeCodePage(text, [&substituted](char32_t c) {
        substituted.append(c);
        return RecordCharacterReference(c);
    });
    for (char32_t c : substituted)
        FUZZ_CHECK(c >= 0x80 && c <= 0x10FFFF, QString::number(uint(c), 16));
    if (substituted.isEmpty())
        FUZZ_CHECK(DecodeCodePage(encoded) == text, text);

    const QByteArray field = EncodeCodePage(EscapeRecordField(text), RecordCharacterReference);
    const QString back = UnescapeRecordField(DecodeCodePage(field));
    FUZZ_CHECK(back == text, back + u" instead of "_s + text);
    return 0;
}
