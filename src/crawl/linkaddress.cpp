#include "crawl/linkaddress.h"

#include <QStringList>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// The code point of a reference's number text ("38" or "x26"), or -1.
qint64 referenceCode(QStringView number)
{
    bool ok = false;
    qint64 code = -1;
    if (number.startsWith(u'x') || number.startsWith(u'X')) {
        const QStringView hex = number.mid(1);
        if (hex.isEmpty() || hex.size() > 8)
            return -1;
        for (QChar c : hex)
            if (!isxdigit(c.unicode() < 0x80 ? c.unicode() : 'g'))
                return -1;
        code = hex.toLongLong(&ok, 16);
    } else {
        if (number.isEmpty() || number.size() > 10)
            return -1;
        for (QChar c : number)
            if (c < u'0' || c > u'9')
                return -1;
        code = number.toLongLong(&ok, 10);
    }
    if (!ok || code <= 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return -1;
    return code;
}

QString decodeNumericReferences(const QString& text)
{
    const QStringList pieces = text.split(u"&#"_s);
    QString result = pieces.first();
    for (qsizetype i = 1; i < pieces.size(); ++i) {
        const QString& piece = pieces[i];
        const qsizetype semicolon = piece.indexOf(u';');
        const QStringView number = semicolon < 0 ? QStringView(piece) : QStringView(piece).left(semicolon);
        const qint64 code = referenceCode(number);
        if (code < 0) {
            result += u"&#"_s + piece;
            continue;
        }
        // Not QString::fromUcs4, which drops U+FEFF as a byte-order mark.
        result += QChar::fromUcs4(char32_t(code));
        if (semicolon >= 0)
            result += QStringView(piece).mid(semicolon + 1);
    }
    return result;
}

// scheme://host/a/b/ -> scheme://host/a/; the host's root stays where it is.
QString parentDirectory(const QString& base)
{
    QStringList pieces = base.split(u'/');
    if (pieces.size() <= 4)
        return base;
    pieces.removeLast();
    pieces.removeLast();
    return pieces.join(u'/') + u'/';
}

bool mustBeEscaped(char16_t c)
{
    if (c <= 0x20 || c >= 0x7F)
        return true;
    switch (c) {
    case u'"':
    case u'<':
    case u'>':
    case u'\\':
    case u'^':
    case u'`':
    case u'{':
    case u'|':
    case u'}':
        return true;
    default:
        return false;
    }
}

// The length of the scheme a link begins with, its ":" included ("mailto:x" -> 7), or 0: a letter,
// then letters, digits, "+", "-" or ".", then ":".
qsizetype schemeLength(QStringView link)
{
    const auto isLetter = [](QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); };
    if (link.isEmpty() || !isLetter(link[0]))
        return 0;
    for (qsizetype i = 1; i < link.size(); ++i) {
        const QChar c = link[i];
        if (c == u':')
            return i + 1;
        if (!isLetter(c) && !(c >= u'0' && c <= u'9') && c != u'+' && c != u'-' && c != u'.')
            return 0;
    }
    return 0;
}

// The link with its scheme in lower case when it is an http or https address with a host part,
// else "".
QString httpAddress(QStringView link)
{
    const qsizetype scheme = schemeLength(link);
    const QString name = link.left(scheme).toString().toLower();
    if ((name != u"http:"_s && name != u"https:"_s) || !link.sliced(scheme).startsWith(u"//"_s))
        return {};
    return name + link.sliced(scheme).toString();
}

} // namespace

QString DecodeLinkText(const QString& raw)
{
    // Most links hold nothing to decode: they are taken as they are, without a copy.
    const auto decoded = [](QChar c) { return c == u'&' || c == u'\\' || c == u'\r' || c == u'\n'; };
    if (std::none_of(raw.cbegin(), raw.cend(), decoded))
        return raw;
    QString link = decodeNumericReferences(raw);
    link.replace(u'\\', u'/');
    link.remove(u'\r');
    link.remove(u'\n');
    static const std::pair<const char16_t*, const char16_t*> named[] = {
        { u"&lt;", u"<" },
        { u"&gt;", u">" },
        { u"&apos;", u"'" },
        { u"&quot;", u"\"" },
        { u"&amp;", u"&" },
        { u"&LT;", u"<" },
        { u"&GT;", u">" },
        { u"&APOS;", u"'" },
        { u"&QUOT;", u"\"" },
        { u"&AMP;", u"&" },
    };
    if (link.contains(u'&'))
        for (const auto& [from, to] : named)
            link.replace(QString::fromUtf16(from), QString::fromUtf16(to));
    return link;
}

QString RelativeBase(const QString& directoryAddress)
{
    if (directoryAddress.endsWith(u'/'))
        return directoryAddress;
    if (directoryAddress.count(u'/') < 3)
        return directoryAddress + u'/';
    return directoryAddress.left(directoryAddress.lastIndexOf(u'/') + 1);
}

QString ResolveAgainstBase(QString link, QString base, const QString& pageRoot)
{
    // Each pass either consumes the start of the link or puts the page root or the base in front
    // of it. The latter happens at most twice (a root-based base, then the root), because a page
    // root that is no http address is refused, so the loop is linear in the link's length.
    const bool rootIsAddress = !httpAddress(pageRoot).isEmpty();
    bool baseAtTop = false;
    qsizetype start = 0;
    bool rewritten = true;
    while (true) {
        if (rewritten) {
            // Only a rewrite brings text not looked at yet: consuming leaves a tail of checked text.
            const QStringView text = QStringView(link).sliced(start);
            if (text.contains(u"ftp:"_s) || text.contains(u"/?"_s) || text.contains(u"/#"_s))
                return {};
            const qsizetype hash = text.indexOf(u'#');
            if (hash >= 0)
                link.truncate(start + hash);
            rewritten = false;
        }
        const QStringView rest = QStringView(link).sliced(start);
        if (rest.isEmpty())
            return {};
        // A link that names a scheme is never a path: http and https are absolute, written in lower
        // case; any other scheme (mailto:, javascript:, file:, a mistyped hhttps:) cannot be fetched.
        // After "./" or "../" a colon belongs to the path.
        if (start == 0 && schemeLength(rest) > 0)
            return httpAddress(rest);
        QString rewrite;
        if (rest.startsWith(u"//"_s) && pageRoot.contains(u"://"_s)) {
            // Protocol-relative: another host, reached with the page's scheme.
            if (!rootIsAddress)
                return {};
            rewrite = pageRoot.left(pageRoot.indexOf(u"://"_s) + 1);
            rewrite += rest;
        } else if (rest.startsWith(u'/')) {
            if (!rootIsAddress)
                return {};
            rewrite = pageRoot;
            rewrite += rest.sliced(1);
        } else if (rest.startsWith(u"../"_s)) {
            if (!baseAtTop) {
                const QString parent = parentDirectory(base);
                baseAtTop = parent == base;
                base = parent;
            }
            start += 3;
            continue;
        } else if (rest.startsWith(u"./"_s)) {
            start += 2;
            continue;
        } else {
            if (httpAddress(base).isEmpty() && !base.startsWith(u'/'))
                return {};
            rewrite = base;
            rewrite += rest;
        }
        link = rewrite;
        start = 0;
        rewritten = true;
    }
}

bool InScope(const QString& link, int searchType, const QString& topRoot, const QString& topBase)
{
    if (searchType == 3)
        return true;
    if (!link.contains(topRoot))
        return false;
    return searchType != 1 || link.contains(topBase);
}

QString EncodeForWire(const QString& address)
{
    bool clean = true;
    for (QChar c : address)
        if (mustBeEscaped(c.unicode())) {
            clean = false;
            break;
        }
    if (clean)
        return address;
    QString encoded;
    encoded.reserve(address.size() * 3);
    const QByteArray utf8 = address.toUtf8();
    for (char byte : utf8) {
        const auto b = static_cast<unsigned char>(byte);
        if (mustBeEscaped(b))
            encoded += u'%' + QString::number(b, 16).toUpper().rightJustified(2, u'0');
        else
            encoded += QLatin1Char(char(b));
    }
    return encoded;
}
