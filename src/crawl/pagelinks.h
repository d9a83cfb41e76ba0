#pragma once
// The one walk over a page's links that the scan and the look-ahead share, so that both see the same
// links against the same base.

#include "crawl/linkcutter.h"
#include "crawl/morelinks.h"
#include "records/workrecord.h"

#include <QString>
#include <optional>

// Where a body's links are looked for: the link cutter's values alone (more links not wanted),
// those and every other link a browser follows on a page, or a style sheet's url() and @import.
enum class LinkSyntax { Classic, Html, StyleSheet };

// The base a base tag's href value sets for the links after it on the page, or "" when it gives none.
QString BaseTagAddress(const QString& value, const QString& pageDirectory, const QString& pageRoot);

// The values cut from a page in order, each link as the record it starts from, with the base that
// the page's base tags set so far; the scan and the look-ahead walk a page the same way with it.
// With more links, the cutter's values and the others come together in the order they stand in.
//   PageLinks links(text, u"http://h/d/p.html"_s, LinkSyntax::Html);
//   while (links.advance())
//       if (links.isLink()) use(links.record(), links.base());
// One link of a page as PageLinks gives it: the record it starts from and the base it resolves against.
struct WalkedLink {
    WorkRecord record;
    QString base;
    std::optional<QString> resolved; // the address it stands for, once worked out
};

class PageLinks {
public:
    // resolvedFrom: where the page was found, against which its links resolve.
    PageLinks(const QString& pageText, const QString& resolvedFrom, LinkSyntax syntax = LinkSyntax::Classic);
    // Takes the next value; false at the end of the page.
    bool advance();
    // Whether the value taken is a link (a base tag only changes base()).
    bool isLink() const { return m_isLink; }
    // The link as written, with the page's directory address and site root.
    const WorkRecord& record() const { return m_record; }
    const QString& base() const { return m_base; }

private:
    void setRecord(const QString& value);

    LinkCutter m_cutter;
    std::optional<CutLink> m_cut; // the cutter's next value, not taken yet
    bool m_cutterDone = false;
    QList<TextLink> m_more;
    qsizetype m_moreTaken = 0;
    QString m_pageDirectory;
    QString m_directoryAddress;
    QString m_pageRoot;
    QString m_base;
    WorkRecord m_record;
    bool m_isLink = false;
};

// Every link of the page, walked at once, as PageLinks gives them one by one.
QList<WalkedLink> WalkPageLinks(const QString& pageText, const QString& resolvedFrom, LinkSyntax syntax);
