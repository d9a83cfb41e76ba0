#include "crawl/linkscanner.h"

#include "address/addressfunctions.h"
#include "crawl/fetchplan.h"
#include "crawl/linkaddress.h"
#include "crawl/linkresolver.h"
#include "crawl/lookahead.h"
#include "crawl/pagelinks.h"
#include "crawl/progress.h"
#include "crawl/transport.h"
#include "records/worklists.h"
#include "storage/localpath.h"

using namespace Qt::StringLiterals;

void ScanPageLinks(CrawlContext& context, const QString& pageAddress, const QString& pageText, const QString& foundAt,
    LinkSyntax syntax)
{
    CrawlState& s = context.state;
    context.host.setCaption(u"検査中"_s);
    if (s.DepthLimit > 0 && s.DepthLimit < s.CurDepth + 1)
        return;
    // A page answered from /jp/ after a link to /jp resolves "a.gif" to /jp/a.gif, as a browser does.
    const QString resolvedFrom = foundAt.isEmpty() ? pageAddress : foundAt;
    PredictPageProbes(context, pageAddress, resolvedFrom, pageText, syntax);

    // The page's links as walked for their probes, else walked now.
    std::optional<CrawlContext::WalkedPage> walked = TakeWalkedPage(context, pageText, resolvedFrom, syntax);
    qsizetype next = 0;
    PageLinks links(walked ? QString() : pageText, resolvedFrom, syntax);
    while (true) {
        context.host.stepProgress();
        context.host.yield();
        if (s.StopRequested)
            break;
        if (walked ? next == walked->links.size() : !links.advance() || s.StopRequested)
            break;
        if (!walked && !links.isLink())
            continue;
        if (walked)
            PredictFurtherProbes(context, pageAddress, *walked, next);
        const WalkedLink* known = walked ? &walked->links.at(next++) : nullptr;
        WorkRecord record = known ? known->record : links.record();
        const QString base = known ? known->base : links.base();
        if (ImportsTooDeep(syntax, s.RefChain, record.address)) {
            if (!context.deepImportsReported)
                ReportFailure(context, u"スタイルシートの読み込みが深すぎます"_s,
                    u"@importの入れ子が"_s + QString::number(MostSheetNesting)
                        + u"段を超えたため、これより深いスタイルシートは取得しません。"_s,
                    pageAddress);
            context.deepImportsReported = true;
            continue;
        }
        QueueLink(context, record, pageAddress, base, known && known->resolved ? &*known->resolved : nullptr);
    }
}

void QueueLink(CrawlContext& context, WorkRecord& record, const QString& pageAddress, const QString& baseAddress,
    const QString* resolved)
{
    CrawlState& s = context.state;
    record.depth = QString::number(s.CurDepth);
    QString headers;
    const QString link = ResolveLink(context, record, headers, pageAddress, baseAddress, resolved);
    if (link.isEmpty())
        return;
    record.address = link;
    record.referrerChain = s.RefChain + u'\t' + link;
    // Straight onto the queue: a resume cuts the queue back to where the page's record began.
    QString workList = s.WorkList;
    RecordResponseHeaders(context, workList, record, false, headers);
    PredictQueuedFetches(context);
}
