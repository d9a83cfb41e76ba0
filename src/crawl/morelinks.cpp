#include "crawl/morelinks.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

bool isLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isNameCharacter(QChar c)
{
    return isLetter(c) || (c >= u'0' && c <= u'9') || c == u'-' || c == u'_';
}

qsizetype skipBlanks(QStringView text, qsizetype i)
{
    while (i < text.size() && isBlank(text[i]))
        ++i;
    return i;
}

bool startsAt(QStringView text, qsizetype at, QStringView word)
{
    return text.mid(at).startsWith(word, Qt::CaseInsensitive);
}

void addTrimmed(QList<TextLink>& links, QStringView value, qsizetype at)
{
    const qsizetype start = skipBlanks(value, 0);
    const QStringView trimmed = value.mid(start).trimmed();
    if (!trimmed.isEmpty())
        links.append({ at + start, trimmed.toString() });
}

// The candidates of a srcset value as HTML splits it: an address runs to the next blank, commas
// at its end close the candidate, and descriptors run to the next comma outside parentheses, so
// "a.jpg 1x,b.jpg 2x" and "x.php?w=1,2 100w" are cut right.
void addSrcset(QList<TextLink>& links, QStringView value, qsizetype offset)
{
    const qsizetype n = value.size();
    qsizetype i = 0;
    while (true) {
        while (i < n && (isBlank(value[i]) || value[i] == u','))
            ++i;
        if (i >= n)
            return;
        const qsizetype start = i;
        while (i < n && !isBlank(value[i]))
            ++i;
        qsizetype end = i;
        while (value[end - 1] == u',')
            --end;
        links.append({ offset + start, value.sliced(start, end - start).toString() });
        if (end < i)
            continue;
        bool inParentheses = false;
        for (; i < n; ++i) {
            if (value[i] == u'(')
                inParentheses = true;
            else if (value[i] == u')')
                inParentheses = false;
            else if (value[i] == u',' && !inParentheses)
                break;
        }
    }
}

// Where the CSS string opened by the quote at start ends: its closing quote, the line end that
// breaks it, or the end of the text. A backslash escapes the character after it.
qsizetype stringEnd(QStringView css, qsizetype start)
{
    const QChar quote = css[start];
    for (qsizetype i = start + 1; i < css.size(); ++i) {
        if (css[i] == u'\\')
            ++i;
        else if (css[i] == quote || css[i] == u'\n')
            return i;
    }
    return css.size();
}

// The character of a code point a reference or an escape names; U+FFFD for none.
QString character(uint code)
{
    const char32_t point = code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) ? 0xFFFD : code;
    return QString::fromUcs4(&point, 1);
}

bool isHex(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// Where the CSS escape whose backslash is at i ends: after up to six hex digits and one blank, or
// after the one character it escapes.
qsizetype escapeEnd(QStringView css, qsizetype i)
{
    qsizetype end = i + 1;
    while (end < css.size() && end - i <= 6 && isHex(css[end]))
        ++end;
    if (end == i + 1)
        return qMin(end + 1, css.size());
    return end < css.size() && isBlank(css[end]) ? end + 1 : end;
}

// A CSS value as a browser reads it: "\\31 " is "1" (up to six hex digits and one blank after them),
// any other escaped character stands for itself, and an escaped line end inside a string is none.
QString cssUnescaped(QStringView text)
{
    if (!text.contains(u'\\'))
        return text.toString();
    QString value;
    for (qsizetype i = 0; i < text.size();) {
        if (text[i] != u'\\' || i + 1 >= text.size()) {
            value += text[i++];
            continue;
        }
        const qsizetype end = escapeEnd(text, i);
        qsizetype digits = i + 1;
        while (digits < end && isHex(text[digits]))
            ++digits;
        if (digits > i + 1)
            value += character(text.sliced(i + 1, digits - i - 1).toUInt(nullptr, 16));
        else if (text[i + 1] != u'\n')
            value += text[i + 1];
        i = end;
    }
    return value;
}

// The address of url( whose text begins at i; returns where the scan goes on, after its ")".
qsizetype takeUrl(QStringView css, qsizetype i, qsizetype offset, QList<TextLink>& links)
{
    i = skipBlanks(css, i);
    qsizetype start = i;
    qsizetype end = i;
    if (i < css.size() && (css[i] == u'"' || css[i] == u'\'')) {
        start = i + 1;
        end = stringEnd(css, i);
    } else {
        while (end < css.size() && css[end] != u')' && !isBlank(css[end]))
            end = css[end] == u'\\' ? escapeEnd(css, end) : end + 1;
    }
    if (end > start)
        links.append({ offset + start, cssUnescaped(css.sliced(start, end - start)) });
    const qsizetype close = css.indexOf(u')', end);
    return close < 0 ? css.size() : close + 1;
}

// The address of a refresh's content, parsed as HTML does: the seconds, ";" or ",", then the
// address, after "url=" when it is written, in quotes or not.
std::optional<TextLink> refreshLink(QStringView content, qsizetype offset)
{
    const qsizetype n = content.size();
    qsizetype i = skipBlanks(content, 0);
    const qsizetype seconds = i;
    while (i < n && ((content[i] >= u'0' && content[i] <= u'9') || content[i] == u'.'))
        ++i;
    if (i == seconds)
        return std::nullopt;
    i = skipBlanks(content, i);
    if (i < n && (content[i] == u';' || content[i] == u','))
        i = skipBlanks(content, i + 1);
    if (startsAt(content, i, u"url")) {
        const qsizetype equals = skipBlanks(content, i + 3);
        if (equals < n && content[equals] == u'=')
            i = skipBlanks(content, equals + 1);
    }
    qsizetype end = n;
    if (i < n && (content[i] == u'"' || content[i] == u'\'')) {
        const qsizetype close = content.indexOf(content[i], i + 1);
        ++i;
        if (close >= 0)
            end = close;
    }
    const QStringView address = content.sliced(i, end - i).trimmed();
    if (address.isEmpty())
        return std::nullopt;
    return TextLink { offset + i, address.toString() };
}

// An attribute's text with its character references read, as a browser reads it before the style
// sheet in it: url(&quot;a.png&quot;), &#40; and &amp;.
QString attributeText(QStringView value)
{
    static const QList<std::pair<QString, QString>> named { { u"quot"_s, u"\""_s }, { u"apos"_s, u"'"_s },
        { u"amp"_s, u"&"_s }, { u"lt"_s, u"<"_s }, { u"gt"_s, u">"_s }, { u"lpar"_s, u"("_s }, { u"rpar"_s, u")"_s },
        { u"bsol"_s, u"\\"_s }, { u"nbsp"_s, QString(QChar(0xA0)) } };
    if (!value.contains(u'&'))
        return value.toString();
    QString text;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const qsizetype semicolon = value[i] == u'&' ? value.indexOf(u';', i + 1) : -1;
        const QStringView name = semicolon > i ? value.sliced(i + 1, semicolon - i - 1) : QStringView();
        QString decoded;
        if (name.size() > 1 && name[0] == u'#') {
            const bool hex = name[1] == u'x' || name[1] == u'X';
            bool ok = false;
            const uint code = name.mid(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
            if (ok)
                decoded = character(code);
        } else {
            for (const auto& [reference, character] : named)
                if (name.compare(reference, Qt::CaseInsensitive) == 0)
                    decoded = character;
        }
        if (decoded.isEmpty()) {
            text += value[i];
            continue;
        }
        text += decoded;
        i = semicolon;
    }
    return text;
}

struct Attribute {
    QStringView name;
    QStringView value;
    qsizetype at = 0;
    bool is(QStringView other) const { return name.compare(other, Qt::CaseInsensitive) == 0; }
};

// Reads a tag's attributes from i, just after its name, as HTML does; returns where the tag ends,
// after its ">".
qsizetype readAttributes(QStringView page, qsizetype i, QList<Attribute>& attributes)
{
    const qsizetype n = page.size();
    while (true) {
        while (i < n && (isBlank(page[i]) || page[i] == u'/'))
            ++i;
        if (i >= n)
            return n;
        if (page[i] == u'>')
            return i + 1;
        const qsizetype nameStart = i;
        while (i < n && !isBlank(page[i]) && page[i] != u'=' && page[i] != u'>' && page[i] != u'/')
            ++i;
        Attribute attribute { page.sliced(nameStart, i - nameStart), {}, i };
        i = skipBlanks(page, i);
        if (i < n && page[i] == u'=') {
            i = skipBlanks(page, i + 1);
            if (i < n && (page[i] == u'"' || page[i] == u'\'')) {
                const qsizetype close = page.indexOf(page[i], i + 1);
                const qsizetype end = close < 0 ? n : close;
                attribute.at = i + 1;
                attribute.value = page.sliced(i + 1, end - i - 1);
                i = qMin(end + 1, n);
            } else {
                attribute.at = i;
                while (i < n && !isBlank(page[i]) && page[i] != u'>')
                    ++i;
                attribute.value = page.sliced(attribute.at, i - attribute.at);
            }
        }
        attributes.append(attribute);
    }
}

// The attributes the common lazy loaders read an address from, on any element; data-src and
// data-lazy-src are not here, as every page's scan takes what follows "src=".
constexpr const char16_t* LazyAddressAttributes[] = { u"data-original", u"data-bg", u"data-background", u"data-full",
    u"data-large", u"data-hi-res", u"data-highres" };
constexpr const char16_t* LazySrcsetAttributes[] = { u"data-srcset", u"data-lazy-srcset" };
// The meta names and properties of the picture a page shows when it is shared, usually its largest.
constexpr const char16_t* SharedImageMetas[]
    = { u"og:image", u"og:image:url", u"og:image:secure_url", u"twitter:image", u"twitter:image:src" };

bool isOneOf(const Attribute& attribute, const auto& names)
{
    return std::any_of(std::begin(names), std::end(names), [&](const char16_t* name) { return attribute.is(name); });
}

bool valueIsOneOf(const QList<Attribute>& attributes, QStringView name, const auto& values)
{
    return std::any_of(attributes.begin(), attributes.end(), [&](const Attribute& a) {
        return a.is(name) && std::any_of(std::begin(values), std::end(values), [&](const char16_t* value) {
            return a.value.trimmed().compare(QStringView(value), Qt::CaseInsensitive) == 0;
        });
    });
}

// A lazy loader's value: an address, or a background written as url().
void addLazyAddress(QList<TextLink>& links, QStringView value, qsizetype at)
{
    if (startsAt(value, skipBlanks(value, 0), u"url("))
        links += StyleSheetLinks(value, at);
    else
        addTrimmed(links, value, at);
}

void addLinksOfTag(QStringView tag, const QList<Attribute>& attributes, QList<TextLink>& links)
{
    const auto tagIs = [tag](QStringView name) { return tag.compare(name, Qt::CaseInsensitive) == 0; };
    const bool image = tagIs(u"img") || tagIs(u"source");
    const bool backdrop = tagIs(u"body") || tagIs(u"table") || tagIs(u"td") || tagIs(u"th");
    const bool meta = tagIs(u"meta");
    const bool refresh = meta && valueIsOneOf(attributes, u"http-equiv", std::array { u"refresh" });
    const bool sharedImage = meta
        && (valueIsOneOf(attributes, u"property", SharedImageMetas)
            || valueIsOneOf(attributes, u"name", SharedImageMetas));
    for (const Attribute& a : attributes) {
        if ((image && a.is(u"srcset")) || isOneOf(a, LazySrcsetAttributes)
            || (tagIs(u"link") && a.is(u"imagesrcset"))) {
            addSrcset(links, a.value, a.at);
        } else if (isOneOf(a, LazyAddressAttributes)) {
            addLazyAddress(links, a.value, a.at);
        } else if ((backdrop && a.is(u"background")) || (tagIs(u"video") && a.is(u"poster"))
            || (sharedImage && a.is(u"content")) || (tagIs(u"object") && a.is(u"data"))
            || (tagIs(u"image") && (a.is(u"href") || a.is(u"xlink:href")))) {
            addTrimmed(links, a.value, a.at);
        } else if (refresh && a.is(u"content")) {
            if (const std::optional<TextLink> link = refreshLink(a.value, a.at))
                links.append(*link);
        } else if (a.is(u"style")) {
            links += StyleSheetLinks(attributeText(a.value), a.at);
        }
    }
}

} // namespace

QList<TextLink> StyleSheetLinks(QStringView css, qsizetype offset)
{
    QList<TextLink> links;
    const qsizetype n = css.size();
    bool importing = false; // after @import, until its address or the end of the rule
    int imageSet = 0; // parentheses open in image-set(): the strings right inside it are addresses
    qsizetype i = 0;
    while (i < n) {
        const QChar c = css[i];
        if (c == u'/' && i + 1 < n && css[i + 1] == u'*') {
            const qsizetype end = css.indexOf(u"*/", i + 2);
            i = end < 0 ? n : end + 2;
        } else if (c == u'"' || c == u'\'') {
            const qsizetype end = stringEnd(css, i);
            if ((importing || imageSet == 1) && end > i + 1)
                links.append({ offset + i + 1, cssUnescaped(css.sliced(i + 1, end - i - 1)) });
            importing = false;
            i = end + 1;
        } else if ((c == u'u' || c == u'U') && startsAt(css, i, u"url(") && (i == 0 || !isNameCharacter(css[i - 1]))) {
            importing = false;
            i = takeUrl(css, i + 4, offset, links);
        } else if (c == u'@' && startsAt(css, i, u"@import")) {
            importing = true;
            i += 7;
        } else if ((startsAt(css, i, u"image-set(") && (i == 0 || !isNameCharacter(css[i - 1])))
            || startsAt(css, i, u"-webkit-image-set(")) {
            imageSet = 1;
            i = css.indexOf(u'(', i) + 1;
        } else {
            if (c == u';' || c == u'{' || c == u'}')
                importing = false;
            if (imageSet > 0 && (c == u'(' || c == u')'))
                imageSet += c == u'(' ? 1 : -1;
            ++i;
        }
    }
    return links;
}

QList<TextLink> MoreLinksOfPage(QStringView page)
{
    QList<TextLink> links;
    QList<Attribute> attributes;
    const qsizetype n = page.size();
    qsizetype i = 0;
    while ((i = page.indexOf(u'<', i)) >= 0) {
        if (startsAt(page, i, u"<!--")) {
            const qsizetype end = page.indexOf(u"-->", i + 4);
            if (end < 0)
                break;
            i = end + 3;
            continue;
        }
        const qsizetype nameStart = ++i;
        if (i >= n || !isLetter(page[i]))
            continue;
        while (i < n && isNameCharacter(page[i]))
            ++i;
        const QStringView tag = page.sliced(nameStart, i - nameStart);
        attributes.clear();
        i = readAttributes(page, i, attributes);
        addLinksOfTag(tag, attributes, links);
        // The text of a style element is a style sheet; a script's text holds no links a page shows.
        const bool style = tag.compare(u"style", Qt::CaseInsensitive) == 0;
        if (style || tag.compare(u"script", Qt::CaseInsensitive) == 0) {
            const qsizetype close = page.indexOf(QStringView(style ? u"</style" : u"</script"), i, Qt::CaseInsensitive);
            const qsizetype end = close < 0 ? n : close;
            if (style)
                links += StyleSheetLinks(page.sliced(i, end - i), i);
            i = end;
        }
    }
    return links;
}
