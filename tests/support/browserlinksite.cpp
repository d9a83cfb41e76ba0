#include "support/browserlinksite.h"

#include "support/gzipped.h"
#include "support/tempsettings.h"

#include <QMap>

using namespace Qt::StringLiterals;

QStringList BrowserLinkSiteImages()
{
    return { u"img/h1.gif"_s, u"img/body.gif"_s, u"img/p-480.gif"_s, u"img/p-800.gif"_s, u"img/p.gif"_s,
        u"img/p2x.gif"_s, u"img/lazy.gif"_s, u"img/table.gif"_s, u"img/td.gif"_s, u"img/poster.gif"_s, u"img/div.gif"_s,
        u"img/orig.gif"_s, u"img/bg.gif"_s, u"img/og.gif"_s, u"img/pre.gif"_s, u"img/svg.gif"_s, u"img/obj.gif"_s,
        u"img/esc.gif"_s, u"img/next.gif"_s, u"img/sheet.gif"_s, u"img/theme.gif"_s, u"写真/euc.gif"_s,
        u"画像/背景.gif"_s };
}

bool WriteBrowserLinkSite(const QString& root)
{
    QMap<QString, QByteArray> files {
        { u"index.html"_s,
            u"<html><head><meta charset=\"utf-8\"><meta http-equiv=\"Refresh\" content=\"30; URL=next.html\">"
            "<link rel=\"stylesheet\" href=\"css/site.css\">"
            "<style>@import url(\"css/theme.css\"); h1 { background: url('img/h1.gif') }</style></head>"
            "<body background=\"img/body.gif\"><h1>写真集</h1><picture>"
            "<source srcset=\"img/p-480.gif 480w,img/p-800.gif 800w\"><img src=\"img/p.gif\" srcset=\"img/p.gif 1x, "
            "img/p2x.gif 2x\"></picture><img data-srcset=\"img/lazy.gif\"><table background=\"img/table.gif\"><tr>"
            "<td background=\"img/td.gif\">表</td></tr></table><video poster=\"img/poster.gif\"></video>"
            "<div style=\"background-image:url(&quot;img/div.gif&quot;)\">背景</div>"
            "<img data-original=\"img/orig.gif\"><div data-bg=\"url(img/bg.gif)\"></div>"
            "<meta property=\"og:image\" content=\"img/og.gif\"><link rel=\"preload\" as=\"image\" "
            "imagesrcset=\"img/pre.gif 1x\">"
            "<svg><image href=\"img/svg.gif\"/></svg><object data=\"img/obj.gif\"></object>"
            "<p style=\"background:url(img/\\65 sc.gif)\"><a href=\"euc.html\">EUC-JP</a>"
            "<img src=\"data:image/gif;base64,R0lGOD\"><a href=\"#top\">上へ</a><a href=\"file:///C:/x.html\">手元</a>"
            "<a href=\"javascript:void(0)\">台本</a><a href=\"hhttps://example.org/x.gif\">誤記</a></body></html>"_s
                .toUtf8() },
        { u"next.html"_s, "<img src=\"img/next.gif\">" },
        // <img src="写真/euc.gif"> in EUC-JP.
        { u"euc.html"_s, "<meta charset=\"EUC-JP\"><img src=\"\xbc\xcc\xbf\xbf/euc.gif\">" },
        { u"css/site.css"_s,
            "@import \"more.css\";\nbody { background: url(../img/sheet.gif) }\n"
            ".x { background: url(\"data:image/gif;base64,AAAA\") } .y { filter: url(#blur) }" },
        { u"css/theme.css"_s, "h2 { background: url( '../img/theme.gif' ) }" },
        { u"css/more.css"_s, "@import url(site.css); @import 'sjis.css';" },
        // url(../画像/背景.gif) in Shift_JIS.
        { u"css/sjis.css"_s, ".j { background: url(../\x89\xe6\x91\x9c/\x94\x77\x8c\x69.gif) }" }
    };
    for (const QString& image : BrowserLinkSiteImages())
        files.insert(image, image.toUtf8());
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        if (!WriteFileBytes(root + u"/links/"_s + it.key(), it.value()))
            return false;
    return true;
}

bool WriteBrowserLinkSitemaps(const QString& root, const QString& origin)
{
    const QByteArray at = origin.toUtf8();
    const QByteArray urlset
        = R"(<?xml version="1.0" encoding="UTF-8"?><urlset xmlns="http://www.sitemaps.org/schemas/sitemap/0.9">)";
    const auto loc = [&at](const QByteArray& path, const char* entry = "url") {
        return "<" + QByteArray(entry) + "><loc>" + at + path + "</loc></" + entry + ">";
    };
    return WriteFileBytes(root + u"/sitemap.xml"_s,
               "<sitemapindex>" + loc("/links/sitemap-pages.xml.gz", "sitemap")
                   + loc("/links/sitemap-more.xml", "sitemap") + loc("/sitemap.xml", "sitemap")
                   + "<sitemap><loc>http://elsewhere.invalid/sitemap.xml</loc></sitemap></sitemapindex>")
        && WriteFileBytes(root + u"/links/sitemap-pages.xml.gz"_s,
            Gzipped(urlset + loc("/links/listed.html") + loc("/links/index.html")
                + "<url><loc>javascript:void(0)</loc></url><url><loc>/links/relative.html</loc></url></urlset>"))
        && WriteFileBytes(
            root + u"/links/sitemap-more.xml"_s, urlset + loc("/links/img/listed-direct.gif") + "</urlset>")
        && WriteFileBytes(root + u"/links/listed.html"_s, "<img src=\"img/listed.gif\">")
        && WriteFileBytes(root + u"/links/img/listed.gif"_s, "listed")
        && WriteFileBytes(root + u"/links/img/listed-direct.gif"_s, "listed directly");
}
