#include "records/ownfiles.h"

#include "records/logs.h"
#include "records/resumerecord.h"
#include "records/worklists.h"
#include "storage/sitelock.h"

#include <QRegularExpression>
#include <QStringList>

using namespace Qt::StringLiterals;

bool IsSiteFolderOwnName(const QString& name)
{
    static const QStringList names = [] {
        QStringList own { DownloadLogName, DetectedLogName, FailureReportName, ErrorResponseLogName };
        for (const QString& path :
            { WorkListPath({}, 0), WorkListPath({}, 1), ResumeRecordPath({}), CookieJarPath({}), SiteLockPath({}) })
            own.append(path.section(u'/', -1));
        return own;
    }();
    // The download list pages: the top address's path, "プレビュー" and the page's number.
    static const QRegularExpression listPage(u"プレビュー[0-9]+\\.html$"_s, QRegularExpression::CaseInsensitiveOption);
    return names.contains(name, Qt::CaseInsensitive) || listPage.match(name).hasMatch();
}
