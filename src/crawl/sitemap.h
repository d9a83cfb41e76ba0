#pragma once
// What a site's sitemap lists, read as the sitemap protocol (sitemaps.org) writes it: the pages of a
// <urlset>, or, for a <sitemapindex>, the sitemaps it names; plain XML or gzip (.xml.gz). No more is
// read than the protocol allows one sitemap: 50,000 addresses and 50 MB unpacked.
//   ReadSitemap("<urlset><url><loc>https://h/a.html</loc></url></urlset>")
//     -> { isIndex false, addresses { "https://h/a.html" } }

#include "codec/gzipreader.h"

#include <QByteArrayView>
#include <QStringList>
#include <QXmlStreamReader>

#include <memory>

inline constexpr qsizetype MostSitemapAddresses = 50000;
inline constexpr qsizetype MostSitemapBytes = 50 * 1024 * 1024;

struct Sitemap {
    bool isIndex = false; // it names sitemaps rather than pages
    QStringList addresses; // the absolute http and https addresses of its <loc> elements, in order
    bool cut = false; // it held more than the protocol allows; the rest was left out
    bool wellFormed = true; // false: not a sitemap, or broken where reading stopped
};

// Reads a sitemap as its bytes arrive, so a large one is never held whole.
class SitemapReader {
public:
    // False once it wants no more bytes: a bound is reached, or it is no sitemap.
    bool add(QByteArrayView bytes);
    // What it read, once the bytes have ended.
    Sitemap finish();

private:
    bool addPlain(QByteArrayView bytes);
    bool read();
    bool takeLocation();

    Sitemap m_sitemap;
    QXmlStreamReader m_xml;
    std::unique_ptr<GzipReader> m_gzip; // set by the first bytes when they are gzip's
    QByteArray m_head; // the first bytes, until there are enough to tell gzip
    bool m_started = false;
    bool m_done = false; // nothing more is read
    qsizetype m_plainBytes = 0;
    int m_depth = 0;
    bool m_inEntry = false;
    QString m_entry; // the element of one entry: url, or sitemap in an index
    bool m_inLocation = false;
    QString m_location;
};

Sitemap ReadSitemap(QByteArrayView bytes);
