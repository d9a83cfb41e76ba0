#include "crawl/pagelinks.h"

#include "address/addressfunctions.h"
#include "crawl/linkaddress.h"

#include <utility>

using namespace Qt::StringLiterals;

QString BaseTagAddress(const QString& value, const QString& pageDirectory, const QString& pageRoot)
{
    // A relative base is taken relative to the page, as a browser does.
    QString resolved = ResolveAgainstBase(DecodeLinkText(value), pageDirectory, pageRoot);
    if (!resolved.isEmpty() && !resolved.endsWith(u'/'))
        resolved += u'/';
    return resolved;
}

PageLinks::PageLinks(const QString& pageText, const QString& resolvedFrom, LinkSyntax syntax)
    : m_cutter(syntax == LinkSyntax::StyleSheet ? QString() : pageText)
    , m_cutterDone(syntax == LinkSyntax::StyleSheet)
    , m_more(syntax == LinkSyntax::Html          ? MoreLinksOfPage(pageText)
              : syntax == LinkSyntax::StyleSheet ? StyleSheetLinks(pageText)
                                                 : QList<TextLink>())
    , m_pageDirectory(RelativeBase(DirectoryAddressOf(resolvedFrom)))
    , m_directoryAddress(DirectoryAddressOf(resolvedFrom))
    , m_pageRoot(SiteRootOf(resolvedFrom))
{
}

bool PageLinks::advance()
{
    if (!m_cut && !m_cutterDone) {
        m_cut = m_cutter.next();
        m_cutterDone = !m_cut;
    }
    const bool more = m_moreTaken < m_more.size();
    if (!m_cut && !more)
        return false;
    if (!m_cut || (more && m_more[m_moreTaken].at < m_cut->at)) {
        m_isLink = true;
        setRecord(m_more[m_moreTaken++].value);
        return true;
    }
    const CutLink cut = *std::exchange(m_cut, std::nullopt);
    m_isLink = !cut.isBase;
    if (cut.isBase) {
        const QString tagBase = BaseTagAddress(cut.value, m_pageDirectory, m_pageRoot);
        if (!tagBase.isEmpty())
            m_base = tagBase;
        return true;
    }
    setRecord(cut.value);
    return true;
}

void PageLinks::setRecord(const QString& value)
{
    m_record = WorkRecord();
    m_record.address = value;
    m_record.directoryAddress = m_directoryAddress;
    m_record.siteRoot = m_pageRoot;
}

QList<WalkedLink> WalkPageLinks(const QString& pageText, const QString& resolvedFrom, LinkSyntax syntax)
{
    QList<WalkedLink> walked;
    PageLinks links(pageText, resolvedFrom, syntax);
    while (links.advance())
        if (links.isLink())
            walked.append({ links.record(), links.base(), std::nullopt });
    return walked;
}
