#include "crawl/writefailure.h"

using namespace Qt::StringLiterals;

void ReportWriteFailure(CrawlContext& context, const IoStatus& status)
{
    if (status.ok)
        return;
    context.state.StopRequested = true;
    if (context.writeFailureShown)
        return;
    context.writeFailureShown = true;
    context.host.showMessage(WriteFailureMessage(status, context.state.SaveDir));
}

QString WriteFailureMessage(const IoStatus& status, const QString& saveDir)
{
    if (status.diskFull)
        return u"保存先フォルダのディスクがいっぱいです。空きを作ってから再開して下さい。\n"_s
            + ToNativeSeparators(saveDir);
    if (status.folderUnwritable)
        return u"保存先フォルダに書き込めなくなったため中断しました。書き込めるようにしてから再開して下さい。\n"_s
            + ToNativeSeparators(saveDir);
    return u"記録ファイルに書き込めないため中断しました。\n"_s + status.error;
}

bool NoteFileStatus(CrawlContext& context, const IoStatus& status)
{
    if (!status && context.fileStatus)
        context.fileStatus = status;
    return status.ok;
}
