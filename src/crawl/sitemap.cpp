#include "crawl/sitemap.h"

#include <utility>

using namespace Qt::StringLiterals;

bool SitemapReader::add(QByteArrayView bytes)
{
    if (m_done || bytes.isEmpty())
        return !m_done;
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
    m_plainBytes += std::min(bytes.size(), room);
    m_xml.addData(QByteArray(bytes.data(), std::min(bytes.size(), room)));
    m_done = !read() || m_sitemap.cut;
    return !m_done;
}

// Reads what has arrived; false once nothing more is wanted.
bool SitemapReader::read()
{
    while (!m_xml.atEnd()) {
        const QXmlStreamReader::TokenType token = m_xml.readNext();
        if (token == QXmlStreamReader::Characters) {
            if (m_inLocation)
                m_location += m_xml.text();
            continue;
        }
        if (token == QXmlStreamReader::EndElement) {
            if (m_inLocation && m_depth == 3 && !takeLocation())
                return false;
            m_inEntry = m_inEntry && m_depth != 2;
            --m_depth;
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        ++m_depth;
        const QStringView name = m_xml.name();
        if (m_depth == 1) {
            m_sitemap.isIndex = name == u"sitemapindex"_s;
            if (!m_sitemap.isIndex && name != u"urlset"_s) {
                m_sitemap.wellFormed = false;
                return false;
            }
            m_entry = m_sitemap.isIndex ? u"sitemap"_s : u"url"_s;
        } else if (m_depth == 2) {
            // Only a <loc> right inside an entry of the root's kind counts: an image extension's
            // <image:loc> names no page.
            m_inEntry = name == m_entry;
        } else if (m_depth == 3 && m_inEntry && name == u"loc"_s) {
            m_inLocation = true;
            m_location.clear();
        }
    }
    // More bytes may come; anything else ends the reading.
    return m_xml.error() == QXmlStreamReader::PrematureEndOfDocumentError;
}

bool SitemapReader::takeLocation()
{
    m_inLocation = false;
    const QString address = m_location.trimmed();
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
    // A sitemap cut at a bound ends in the middle of an element: what came before stands.
    const bool broken = (m_xml.hasError() && m_xml.error() != QXmlStreamReader::PrematureEndOfDocumentError)
        || (m_gzip && m_gzip->broken());
    if (!m_sitemap.cut && m_sitemap.wellFormed)
        m_sitemap.wellFormed = !broken && !m_entry.isEmpty() && m_depth == 0;
    m_done = true;
    return std::exchange(m_sitemap, {});
}

Sitemap ReadSitemap(QByteArrayView bytes)
{
    SitemapReader reader;
    reader.add(bytes);
    return reader.finish();
}
