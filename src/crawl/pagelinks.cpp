#include "crawl/pagelinks.h"

#include "address/addressfunctions.h"
#include "crawl/linkaddress.h"

using namespace Qt::StringLiterals;

QString BaseTagAddress(const QString& value, const QString& pageDirectory, const QString& pageRoot)
{
    // A relative base is taken relative to the page, as a browser does.
    QString resolved = ResolveAgainstBase(DecodeLinkText(value), pageDirectory, pageRoot);
    if (!resolved.isEmpty() && !resolved.endsWith(u'/'))
        resolved += u'/';
    return resolved;
}

PageLinks::PageLinks(const QString& pageText, const QString& resolvedFrom)
    : m_cutter(pageText)
    , m_pageDirectory(RelativeBase(DirectoryAddressOf(resolvedFrom)))
    , m_directoryAddress(DirectoryAddressOf(resolvedFrom))
    , m_pageRoot(SiteRootOf(resolvedFrom))
{
}

bool PageLinks::advance()
{
    const std::optional<CutLink> cut = m_cutter.next();
    if (!cut)
        return false;
    m_isLink = !cut->isBase;
    if (cut->isBase) {
        const QString tagBase = BaseTagAddress(cut->value, m_pageDirectory, m_pageRoot);
        if (!tagBase.isEmpty())
            m_base = tagBase;
        return true;
    }
    m_record = WorkRecord();
    m_record.address = cut->value;
    m_record.directoryAddress = m_directoryAddress;
    m_record.siteRoot = m_pageRoot;
    return true;
}
