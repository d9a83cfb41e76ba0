#include "crawl/linkscanner.h"

#include "address/addressfunctions.h"
#include "crawl/linkaddress.h"
#include "crawl/linkcutter.h"
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

void ScanPageLinks(CrawlContext& context, const QString& pageAddress, const QString& pageText, const QString& foundAt)
{
    CrawlState& s = context.state;
    context.host.setCaption(u"検査中"_s);
    if (s.DepthLimit > 0 && s.DepthLimit < s.CurDepth + 1)
        return;
    QString base;
    // A page answered from /jp/ after a link to /jp resolves "a.gif" to /jp/a.gif, as a browser does.
    const QString resolvedFrom = foundAt.isEmpty() ? pageAddress : foundAt;
    const QString pageDirectory = RelativeBase(DirectoryAddressOf(resolvedFrom));
    const QString pageRoot = SiteRootOf(resolvedFrom);
    PredictPageProbes(context, pageAddress, resolvedFrom, pageText);

    LinkCutter cutter(pageText);
    while (true) {
        context.host.stepProgress();
        context.host.yield();
        if (s.StopRequested)
            break;
        const std::optional<CutLink> cut = cutter.next();
        if (!cut || s.StopRequested)
            break;
        if (cut->isBase) {
            const QString tagBase = BaseTagAddress(cut->value, pageDirectory, pageRoot);
            if (!tagBase.isEmpty())
                base = tagBase;
            continue;
        }
        WorkRecord record;
        record.address = cut->value;
        record.directoryAddress = DirectoryAddressOf(resolvedFrom);
        record.siteRoot = pageRoot;
        record.depth = QString::number(s.CurDepth);
        QString headers;
        const QString link = ResolveLink(context, record, headers, pageAddress, base);
        if (link.isEmpty())
            continue;
        record.address = link;
        record.referrerChain = s.RefChain + u'\t' + link;
        // Straight onto the queue: a resume cuts the queue back to where the page's record began.
        QString workList = s.WorkList;
        RecordResponseHeaders(context, workList, record, false, headers);
    }
}
