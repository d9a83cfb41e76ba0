#include "crawl/httpheaders.h"

#include "codec/base64.h"
#include "platform/codepage.h"

#include <QStringDecoder>

using namespace Qt::StringLiterals;

QString HeaderValue(const QString& headers, const QString& name)
{
    const qsizetype at = headers.indexOf(name, 0, Qt::CaseInsensitive);
    if (at < 0)
        return {};
    qsizetype start = at + name.size();
    const qsizetype cr = headers.indexOf(u'\r', start);
    const qsizetype lf = headers.indexOf(u'\n', start);
    if (cr < 0 || lf < 0)
        return {};
    const qsizetype end = qMin(cr, lf);
    while (start < end && headers[start] == u' ')
        ++start;
    return headers.mid(start, end - start);
}

QString StatusLine(const QString& headers)
{
    qsizetype end = 0;
    while (end < headers.size() && headers[end] != u'\r' && headers[end] != u'\n')
        ++end;
    return headers.left(end);
}

int StatusCode(const QString& statusLine)
{
    // The second word, as split at blanks: "HTTP/1.1  404 Not Found" is 404.
    int word = 0;
    for (const QStringView part : QStringView(statusLine).tokenize(u' ', Qt::SkipEmptyParts))
        if (++word == 2)
            return part.toInt();
    return 0;
}

int ProtocolOf(const QString& address)
{
    const qsizetype colon = address.indexOf(u':');
    if (colon < 0 || colon + 1 > 19)
        return -1;
    const QString scheme = address.left(colon + 1).toLower();
    if (scheme == u"http:"_s)
        return 4;
    if (scheme == u"https:"_s)
        return 5;
    if (scheme == u"ftp:"_s)
        return 2;
    return 1;
}

QString MakeBasicCredential(const QString& userName, const QString& password)
{
    const QByteArray bytes = (userName + u':' + password).toUtf8();
    return Base64Encode(bytes, bytes.size()).remove(u"\r\n"_s);
}

bool IsStrongEntityTag(const QString& etag)
{
    return !etag.isEmpty() && !etag.startsWith(u"W/"_s, Qt::CaseInsensitive);
}

QString CharsetOf(const QString& contentType)
{
    const qsizetype at = contentType.indexOf(u"charset="_s, 0, Qt::CaseInsensitive);
    if (at < 0)
        return {};
    QString value = contentType.mid(at + 8).section(u';', 0, 0).trimmed();
    value.remove(u'"');
    value.remove(u'\'');
    return value.toLower();
}

namespace {

QString metaCharset(const QByteArray& bytes)
{
    const QByteArray head = bytes.left(4096).toLower();
    // A style sheet names its own in its first line, @charset "shift_jis";
    const bool sheet = head.startsWith("@charset \"");
    const qsizetype at = sheet ? 0 : head.indexOf("charset=");
    if (at < 0)
        return {};
    qsizetype start = sheet ? 10 : at + 8;
    while (start < head.size() && (head[start] == '"' || head[start] == '\''))
        ++start;
    qsizetype end = start;
    while (
        end < head.size() && (isalnum(static_cast<unsigned char>(head[end])) || head[end] == '-' || head[end] == '_'))
        ++end;
    return QString::fromLatin1(head.mid(start, end - start));
}

bool isEucJp(const QString& charset)
{
    return charset == u"euc-jp"_s || charset == u"x-euc-jp"_s || charset == u"eucjp"_s || charset == u"euc_jp"_s;
}

bool isShiftJis(const QString& charset)
{
    return charset == u"shift_jis"_s || charset == u"shift-jis"_s || charset == u"sjis"_s || charset == u"x-sjis"_s
        || charset == u"cp932"_s || charset == u"windows-31j"_s || charset == u"ms932"_s;
}

} // namespace

QString DecodePageText(const QByteArray& bytes, const QString& charset, bool* ok)
{
    QString name = charset.isEmpty() ? metaCharset(bytes) : charset;
    if (isShiftJis(name)) {
        const QString text = DecodeCodePage(bytes);
        if (ok)
            *ok = !text.contains(QChar(QChar::ReplacementCharacter));
        return text;
    }
    if (isEucJp(name)) {
        const QString text = DecodeEucJp(bytes);
        if (ok)
            *ok = !text.contains(QChar(QChar::ReplacementCharacter));
        return text;
    }
    if (!name.isEmpty()) {
        if (std::optional<QStringConverter::Encoding> encoding = QStringConverter::encodingForName(name.toLatin1())) {
            QStringDecoder decoder(*encoding);
            const QString text = decoder.decode(bytes);
            if (ok)
                *ok = !decoder.hasError();
            return text;
        }
    }
    QStringDecoder utf8(QStringConverter::Utf8);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError()) {
        if (ok)
            *ok = true;
        return text;
    }
    const QString japanese = DecodeCodePage(bytes);
    if (ok)
        *ok = !japanese.contains(QChar(QChar::ReplacementCharacter));
    return japanese;
}

qint64 ContentRangeStart(const QString& headers)
{
    const QString value = HeaderValue(headers, u"content-range:"_s).trimmed();
    if (!value.startsWith(u"bytes "_s, Qt::CaseInsensitive))
        return -1;
    bool ok = false;
    const qint64 start = value.mid(6).section(u'-', 0, 0).trimmed().toLongLong(&ok);
    return ok ? start : -1;
}
