#include "crawl/sitemap.h"

#include <QXmlStreamReader>

using namespace Qt::StringLiterals;

Sitemap ReadSitemap(QByteArrayView xml)
{
    Sitemap sitemap;
    sitemap.cut = xml.size() > MostSitemapBytes;
    QXmlStreamReader reader(QByteArray::fromRawData(xml.data(), qMin(xml.size(), MostSitemapBytes)));
    // Only a <loc> right inside an entry of the root's kind counts: an image extension's
    // <image:loc> names no page.
    QString entry;
    bool inEntry = false;
    int depth = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::EndElement) {
            inEntry = inEntry && depth != 2;
            --depth;
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        ++depth;
        const QStringView name = reader.name();
        if (depth == 1) {
            sitemap.isIndex = name == u"sitemapindex"_s;
            if (!sitemap.isIndex && name != u"urlset"_s) {
                sitemap.wellFormed = false;
                return sitemap;
            }
            entry = sitemap.isIndex ? u"sitemap"_s : u"url"_s;
        } else if (depth == 2) {
            inEntry = name == entry;
        } else if (depth == 3 && inEntry && name == u"loc"_s) {
            const QString address = reader.readElementText().trimmed();
            --depth; // the end of <loc> was read with its text
            if (!address.startsWith(u"http://"_s, Qt::CaseInsensitive)
                && !address.startsWith(u"https://"_s, Qt::CaseInsensitive))
                continue;
            if (sitemap.addresses.size() == MostSitemapAddresses) {
                sitemap.cut = true;
                return sitemap;
            }
            sitemap.addresses.append(address);
        }
    }
    // A sitemap cut at its byte bound ends in the middle of an element: what came before stands.
    sitemap.wellFormed = !reader.hasError() || sitemap.cut;
    return sitemap;
}
