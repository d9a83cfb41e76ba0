#include "crawl/linkscanner.h"

#include "address/addressfunctions.h"
#include "crawl/linkaddress.h"
#include "crawl/linkresolver.h"
#include "crawl/lookahead.h"
#include "crawl/progress.h"
#include "crawl/transport.h"
#include "records/worklists.h"
#include "storage/localpath.h"

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

void ScanPageLinks(CrawlContext& context, const QString& pageAddress, const QString& pageText, const QString& foundAt)
{
    CrawlState& s = context.state;
    context.host.setCaption(u"検査中"_s);
    if (s.DepthLimit > 0 && s.DepthLimit < s.CurDepth + 1)
        return;
    // A page answered from /jp/ after a link to /jp resolves "a.gif" to /jp/a.gif, as a browser does.
    const QString resolvedFrom = foundAt.isEmpty() ? pageAddress : foundAt;
    PredictPageProbes(context, pageAddress, resolvedFrom, pageText);

    PageLinks links(pageText, resolvedFrom);
    while (true) {
        context.host.stepProgress();
        context.host.yield();
        if (s.StopRequested)
            break;
        if (!links.advance() || s.StopRequested)
            break;
        if (!links.isLink())
            continue;
        WorkRecord record = links.record();
        record.depth = QString::number(s.CurDepth);
        QString headers;
        const QString link = ResolveLink(context, record, headers, pageAddress, links.base());
        if (link.isEmpty())
            continue;
        record.address = link;
        record.referrerChain = s.RefChain + u'\t' + link;
        // Straight onto the queue: a resume cuts the queue back to where the page's record began.
        QString workList = s.WorkList;
        RecordResponseHeaders(context, workList, record, false, headers);
    }
}
