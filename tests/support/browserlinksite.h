#pragma once
// A site below root/links/ whose images a browser finds through srcset, style sheets (importing each
// other, one in Shift_JIS), style attributes, background, poster, a refresh, lazy loaders, a shared
// picture, a preload, SVG, an object and a CSS escape, beside references that must never be
// requested (data:, #, file:, javascript:, hhttps:).

#include <QStringList>

bool WriteBrowserLinkSite(const QString& root);
// Its images, relative to links/, in the order a crawl with every link source detects them.
QStringList BrowserLinkSiteImages();
// The site's sitemaps, naming addresses of origin ("http://127.0.0.1:port"): /sitemap.xml, an index
// of links/sitemap-pages.xml.gz (links/listed.html, whose image is img/listed.gif) and
// links/sitemap-more.xml (img/listed-direct.gif), beside entries that are no page and a sitemap of
// a host out of the crawl's reach.
bool WriteBrowserLinkSitemaps(const QString& root, const QString& origin);
