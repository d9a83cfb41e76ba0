#pragma once
// The links a browser follows that the link cutter does not look for: the candidates of srcset and
// data-srcset (on img and source), url() and @import in style sheets, <style> elements and style
// attributes, background (on body, table, td, th), poster (on video) and the address of a
// <meta http-equiv="refresh">. Each comes with where it stands in the text, so the page's walk can
// take them in text order with the cutter's values. Values are trimmed, not decoded.
//   MoreLinksOfPage(u"<img srcset=\"a.jpg 1x,b.jpg 2x\">")               -> a.jpg, b.jpg
//   StyleSheetLinks(u"@import 'x.css'; p { background: url(\"bg.gif\") }") -> x.css, bg.gif
// Comments are skipped, and so are scripts in a page; both scans are linear in the text's length.

#include <QList>
#include <QString>

struct TextLink {
    qsizetype at = 0; // where the value starts in the text
    QString value;
};

// The url(...) addresses in any of their three quotings and the @import addresses of style sheet
// text; offset is added to every position.
QList<TextLink> StyleSheetLinks(QStringView css, qsizetype offset = 0);
// The links above of a page, in text order.
QList<TextLink> MoreLinksOfPage(QStringView page);
