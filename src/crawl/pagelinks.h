#pragma once
// The one walk over a page's links that the scan and the look-ahead share, so that both see the same
// links against the same base.

#include "crawl/linkcutter.h"
#include "records/workrecord.h"

#include <QString>

// The base a base tag's href value sets for the links after it on the page, or "" when it gives none.
QString BaseTagAddress(const QString& value, const QString& pageDirectory, const QString& pageRoot);

// The values cut from a page in order, each link as the record it starts from, with the base that
// the page's base tags set so far; the scan and the look-ahead walk a page the same way with it.
//   PageLinks links(text, u"http://h/d/p.html"_s);
//   while (links.advance())
//       if (links.isLink()) use(links.record(), links.base());
class PageLinks {
public:
    // resolvedFrom: where the page was found, against which its links resolve.
    PageLinks(const QString& pageText, const QString& resolvedFrom);
    // Takes the next value; false at the end of the page.
    bool advance();
    // Whether the value taken is a link (a base tag only changes base()).
    bool isLink() const { return m_isLink; }
    // The link as written, with the page's directory address and site root.
    const WorkRecord& record() const { return m_record; }
    const QString& base() const { return m_base; }

private:
    LinkCutter m_cutter;
    QString m_pageDirectory;
    QString m_directoryAddress;
    QString m_pageRoot;
    QString m_base;
    WorkRecord m_record;
    bool m_isLink = false;
};
