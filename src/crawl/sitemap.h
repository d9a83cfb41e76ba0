#pragma once
// What a site's sitemap lists, read as the sitemap protocol (sitemaps.org) writes it: the pages of a
// <urlset>, or, for a <sitemapindex>, the sitemaps it names. No more is read than the protocol
// allows one sitemap: 50,000 addresses and 50 MB.
//   ReadSitemap("<urlset><url><loc>https://h/a.html</loc></url></urlset>")
//     -> { isIndex false, addresses { "https://h/a.html" } }

#include <QByteArrayView>
#include <QStringList>

inline constexpr qsizetype MostSitemapAddresses = 50000;
inline constexpr qsizetype MostSitemapBytes = 50 * 1024 * 1024;

struct Sitemap {
    bool isIndex = false; // it names sitemaps rather than pages
    QStringList addresses; // the absolute http and https addresses of its <loc> elements, in order
    bool cut = false; // it held more than the protocol allows; the rest was left out
    bool wellFormed = true; // false: not a sitemap, or broken where reading stopped
};

Sitemap ReadSitemap(QByteArrayView xml);
