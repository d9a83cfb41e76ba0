#include "crawl/sitemap.h"

#include <utility>

using namespace Qt::StringLiterals;

namespace {

// A sitemap's address has at most 2,048 characters; a longer one is no address of it.
constexpr qsizetype MostLocationBytes = 8192;
// Element names compared are short; their first bytes are enough.
constexpr qsizetype MostNameBytes = 64;

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The name without its namespace prefix: image:loc is an image extension's loc.
QByteArrayView localName(const QByteArray& name)
{
    return QByteArrayView(name).sliced(name.lastIndexOf(':') + 1);
}

// The bytes of a character reference (without "&" and ";"), or nothing when it names none.
QByteArray decodedReference(QByteArrayView reference)
{
    static const QList<std::pair<QByteArrayView, char>> named { { "amp", '&' }, { "lt", '<' }, { "gt", '>' },
        { "quot", '"' }, { "apos", '\'' } };
    for (const auto& [name, byte] : named)
        if (reference == name)
            return QByteArray(1, byte);
    if (!reference.startsWith('#'))
        return {};
    bool ok = false;
    const bool hex = reference.size() > 1 && (reference[1] == 'x' || reference[1] == 'X');
    const uint code = reference.sliced(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
    if (!ok || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return {};
    const char32_t character = code;
    return QString::fromUcs4(&character, 1).toUtf8();
}

} // namespace

bool SitemapReader::add(QByteArrayView bytes)
{
    if (m_done || bytes.isEmpty())
        return !m_done;
    // Packed bytes that unpack to nothing (a gzip header's endless comment, empty members one after
    // another) are bounded too.
    const qsizetype room = MostSitemapBytes - m_packedBytes;
    const bool over = bytes.size() > room;
    bytes.truncate(std::min(bytes.size(), room));
    m_packedBytes += bytes.size();
    const bool more = addWithin(bytes);
    if (over) {
        m_sitemap.cut = true;
        m_done = true;
    }
    return more && !over;
}

bool SitemapReader::addWithin(QByteArrayView bytes)
{
    if (!m_started) {
        // Whether it is gzip shows in its first two bytes, which may come in two pieces.
        m_head += bytes;
        if (m_head.size() < 2)
            return true;
        m_started = true;
        if (StartsAsGzip(m_head))
            m_gzip = std::make_unique<GzipReader>();
        bytes = m_head;
    }
    if (!m_gzip)
        return addPlain(bytes);
    m_gzip->add(bytes, [this](QByteArrayView plain) { return addPlain(plain); });
    m_done = m_done || m_gzip->broken();
    return !m_done;
}

bool SitemapReader::addPlain(QByteArrayView bytes)
{
    if (m_done)
        return false;
    const qsizetype room = MostSitemapBytes - m_plainBytes;
    m_sitemap.cut = bytes.size() > room;
    bytes.truncate(std::min(bytes.size(), room));
    m_plainBytes += bytes.size();
    for (const char byte : bytes)
        if (!step(byte)) {
            m_done = true;
            return false;
        }
    m_done = m_sitemap.cut;
    return !m_done;
}

// One byte of the XML; false once nothing more is wanted.
bool SitemapReader::step(char byte)
{
    // The two bytes before this one, for the ends "-->", "]]>" and "?>".
    const char before = m_last;
    const char twoBefore = m_lastButOne;
    m_lastButOne = m_last;
    m_last = byte;
    switch (m_markup) {
    case Markup::Text:
        if (byte == '<')
            m_markup = Markup::Open;
        else
            addText(byte);
        return true;
    case Markup::Open:
        m_name.clear();
        m_quote = 0;
        m_emptyTag = false;
        m_startTag = false;
        if (byte == '!') {
            m_markup = Markup::Bang;
        } else if (byte == '?') {
            m_markup = Markup::Instruction;
        } else if (byte == '/') {
            m_markup = Markup::EndName;
        } else {
            m_markup = Markup::StartName;
            m_startTag = true;
            m_name.append(byte);
        }
        return true;
    case Markup::Bang:
        // "<!--" opens a comment, "<![CDATA[" character data, anything else a declaration.
        m_name.append(byte);
        if (m_name == "--") {
            m_markup = Markup::Comment;
            m_last = 0; // "<!-->" does not end it
        } else if (m_name == "[CDATA[") {
            m_markup = Markup::CData;
            m_brackets = 0;
        } else if (!QByteArrayView("--").startsWith(m_name) && !QByteArrayView("[CDATA[").startsWith(m_name)) {
            m_markup = byte == '>' ? Markup::Text : Markup::Declaration;
            m_nesting = byte == '[' ? 1 : 0;
        }
        return true;
    case Markup::Comment:
        if (byte == '>' && before == '-' && twoBefore == '-')
            m_markup = Markup::Text;
        return true;
    case Markup::CData:
        // Its bytes are text, but for the "]" that may begin its end, held back until known.
        if (byte == ']') {
            ++m_brackets;
            return true;
        }
        if (byte == '>' && m_brackets >= 2) {
            m_brackets -= 2;
            m_markup = Markup::Text;
        }
        for (; m_brackets > 0; --m_brackets)
            addText(']');
        if (m_markup == Markup::CData)
            addText(byte);
        return true;
    case Markup::Instruction:
        if (byte == '>' && before == '?')
            m_markup = Markup::Text;
        return true;
    case Markup::Declaration:
        // It ends at the ">" outside its internal subset.
        if (byte == '[')
            ++m_nesting;
        else if (byte == ']')
            m_nesting = std::max(0, m_nesting - 1);
        else if (byte == '>' && m_nesting == 0)
            m_markup = Markup::Text;
        return true;
    case Markup::StartName:
    case Markup::EndName:
        if (byte == '>' || byte == '/' || isSpace(byte)) {
            m_markup = Markup::Attributes;
            m_emptyTag = byte == '/';
            return byte == '>' ? tagEnd() : true;
        }
        if (m_name.size() < MostNameBytes)
            m_name.append(byte);
        return true;
    case Markup::Attributes:
        // A ">" inside an attribute's quotes ends nothing; a "/" just before the end empties it.
        if (m_quote != 0) {
            if (byte == m_quote)
                m_quote = 0;
        } else if (byte == '"' || byte == '\'') {
            m_quote = byte;
        } else if (byte == '>') {
            return tagEnd();
        }
        if (!isSpace(byte))
            m_emptyTag = byte == '/';
        return true;
    }
    return true;
}

bool SitemapReader::tagEnd()
{
    m_markup = Markup::Text;
    if (!m_startTag)
        return endElement();
    return startElement(m_emptyTag) && (!m_emptyTag || endElement());
}

bool SitemapReader::startElement(bool empty)
{
    ++m_depth;
    const QByteArrayView name = localName(m_name);
    if (m_depth == 1) {
        if (m_rootSeen || (name != "urlset" && name != "sitemapindex")) {
            m_sitemap.wellFormed = false; // not a sitemap, or a second root
            return false;
        }
        m_rootSeen = true;
        m_sitemap.isIndex = name == "sitemapindex";
        m_entry = m_sitemap.isIndex ? "sitemap" : "url";
    } else if (m_depth == 2) {
        // Only a <loc> right inside an entry of the root's kind counts: an image extension's
        // <image:loc> names no page.
        m_inEntry = name == m_entry;
    } else if (m_depth == 3 && m_inEntry && name == "loc" && !empty) {
        m_inLocation = true;
        m_location.clear();
        m_reference.clear();
        m_locationTooLong = false;
    }
    return true;
}

bool SitemapReader::endElement()
{
    if (m_depth == 0) {
        m_sitemap.wellFormed = false; // an end without a start
        return false;
    }
    bool more = true;
    if (m_depth == 3 && m_inLocation)
        more = takeLocation();
    if (m_depth == 2)
        m_inEntry = false;
    --m_depth;
    // The document ends with its root; what follows is not read.
    return more && m_depth > 0;
}

void SitemapReader::addText(char byte)
{
    if (!m_inLocation)
        return;
    if (m_location.size() >= MostLocationBytes) {
        m_locationTooLong = true;
        return;
    }
    if (!m_reference.isEmpty() || byte == '&') {
        if (m_markup == Markup::CData) {
            m_location.append(byte); // no references in CDATA
            return;
        }
        m_reference.append(byte);
        if (byte == ';') {
            const QByteArray decoded = decodedReference(QByteArrayView(m_reference).sliced(1).chopped(1));
            m_location.append(decoded.isEmpty() ? m_reference : decoded);
            m_reference.clear();
        } else if (m_reference.size() > 12) {
            m_location.append(m_reference); // no reference after all
            m_reference.clear();
        }
        return;
    }
    m_location.append(byte);
}

bool SitemapReader::takeLocation()
{
    m_inLocation = false;
    m_location.append(std::exchange(m_reference, {}));
    if (m_locationTooLong)
        return true;
    const QString address = QString::fromUtf8(m_location).trimmed();
    if (!address.startsWith(u"http://"_s, Qt::CaseInsensitive)
        && !address.startsWith(u"https://"_s, Qt::CaseInsensitive))
        return true;
    if (m_sitemap.addresses.size() == MostSitemapAddresses) {
        m_sitemap.cut = true;
        return false;
    }
    m_sitemap.addresses.append(address);
    return true;
}

Sitemap SitemapReader::finish()
{
    // A sitemap cut at a bound ends in the middle of an element: what came before stands. One whose
    // root has ended is whole, whatever followed it (a damaged gzip trailer too).
    if (!m_sitemap.cut && m_sitemap.wellFormed)
        m_sitemap.wellFormed = m_rootSeen && m_depth == 0 && m_markup == Markup::Text;
    m_done = true;
    return std::exchange(m_sitemap, {});
}

Sitemap ReadSitemap(QByteArrayView bytes)
{
    SitemapReader reader;
    reader.add(bytes);
    return reader.finish();
}
