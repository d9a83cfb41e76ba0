// Header helpers, the Basic credential and Base64 on any input: values stay within their line,
// the credential decodes back to "user:password", and Base64 lines agree with Qt's encoder.

#include "codec/base64.h"
#include "crawl/httpheaders.h"

#include "fuzzsupport.h"

using namespace Qt::StringLiterals;

namespace {

const QStringList HeaderNames { u"content-length:"_s, u"content-type:"_s, u"etag:"_s, u"accept-ranges:"_s,
    u"content-range:"_s, u"location:"_s };

void headerHelpers(FuzzedDataProvider& data)
{
    const QString headers = FuzzedText(data, 512);
    const QString name
        = data.ConsumeBool() ? HeaderNames[data.ConsumeIntegralInRange<qsizetype>(0, 5)] : FuzzedText(data, 16);
    const QString value = HeaderValue(headers, name);
    FUZZ_CHECK(!value.contains(u'\r') && !value.contains(u'\n') && !value.startsWith(u' '), value);
    FUZZ_CHECK(value.isEmpty() || (headers.contains(name, Qt::CaseInsensitive) && headers.contains(value)), value);

    const QString status = StatusLine(headers);
    FUZZ_CHECK(headers.startsWith(status) && !status.contains(u'\r') && !status.contains(u'\n'), status);
    StatusCode(status);
    FUZZ_CHECK(ContentRangeStart(headers) >= -1, headers);

    const int protocol = ProtocolOf(headers);
    FUZZ_CHECK(protocol == -1 || protocol == 1 || protocol == 2 || protocol == 4 || protocol == 5, headers);
    FUZZ_CHECK(
        IsStrongEntityTag(value) == (!value.isEmpty() && !value.startsWith(u"w/"_s, Qt::CaseInsensitive)), value);

    const QString charset = CharsetOf(headers);
    FUZZ_CHECK(!charset.contains(u'"') && !charset.contains(u'\'') && !charset.contains(u';'), charset);
    FUZZ_CHECK(charset == charset.toLower(), charset);

    bool ok = false;
    const QByteArray body = QByteArray::fromStdString(data.ConsumeRandomLengthString(512));
    DecodePageText(body, data.ConsumeBool() ? charset : QString(), &ok);
}

void credential(FuzzedDataProvider& data)
{
    const QString user = FuzzedText(data, 64);
    const QString password = FuzzedText(data, 256);
    const QString line = MakeBasicCredential(user, password);
    FUZZ_CHECK(!line.contains(u'\r') && !line.contains(u'\n') && line.size() % 4 == 0, line);
    FUZZ_CHECK(QByteArray::fromBase64(line.toLatin1()) == (user + u':' + password).toUtf8(), line);
}

void base64(FuzzedDataProvider& data)
{
    const QByteArray bytes = QByteArray::fromStdString(data.ConsumeRandomLengthString(1024));
    const qsizetype count = data.ConsumeIntegralInRange<qsizetype>(-2, bytes.size() + 2);
    int yields = 0;
    const QString text = Base64Encode(bytes, count, [&yields] { ++yields; });
    const QByteArray whole = bytes.left(qBound(qsizetype(0), count, bytes.size()));
    FUZZ_CHECK(text.isEmpty() == whole.isEmpty(), text);
    QStringList lines = text.split(u"\r\n"_s);
    FUZZ_CHECK(lines.takeLast().isEmpty(), text);
    for (qsizetype i = 0; i < lines.size(); ++i)
        FUZZ_CHECK(
            lines[i].size() == 76 || (i == lines.size() - 1 && !lines[i].isEmpty() && lines[i].size() < 76), text);
    FUZZ_CHECK(lines.join(QString()).toLatin1() == whole.toBase64(), text);
    FUZZ_CHECK(whole.isEmpty() || yields > 0, text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    FuzzedDataProvider data(bytes, size);
    switch (data.ConsumeIntegralInRange(0, 2)) {
    case 0:
        headerHelpers(data);
        break;
    case 1:
        credential(data);
        break;
    default:
        base64(data);
        break;
    }
    return 0;
}
