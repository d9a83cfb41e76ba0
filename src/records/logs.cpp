#include "records/logs.h"

#include "records/recordfile.h"
#include "records/recordline.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

IoStatus appendWithHeader(const QString& path, const QString& header, const QStringList& fields)
{
    QStringList lines;
    const QFileInfo info(path);
    if (!info.exists() || info.size() == 0)
        lines.append(header);
    lines.append(JoinRecordLine(fields));
    if (lines.size() == 2)
        return ReplaceRecordFile(path, lines);
    return AppendRecordLines(path, lines);
}

} // namespace

QString LogPath(const QString& siteDir, const QString& fileName)
{
    return siteDir + u'/' + fileName;
}

IoStatus WriteFailureReport(const QString& siteDir, const Clock& clock, const QString& summary, const QString& detail,
    const QString& address, const QString& fileName)
{
    return appendWithHeader(
        LogPath(siteDir, fileName), FailureReportHeader, { TimeStampText(clock.now()), summary, detail, address });
}

IoStatus WriteErrorResponse(const QString& siteDir, const Clock& clock, const QString& summary, const QString& detail,
    const QString& linkTarget, const QString& fileName, const QString& linkSource)
{
    return appendWithHeader(LogPath(siteDir, fileName), ErrorResponseHeader,
        { TimeStampText(clock.now()), summary, detail, linkTarget, linkSource });
}

IoStatus StartLog(const QString& siteDir, const QString& fileName, const QString& header)
{
    return ReplaceRecordFile(LogPath(siteDir, fileName), { header });
}

IoStatus WriteDownloadLogLine(const QString& siteDir, const Clock& clock, const QString& name, const QString& localPath,
    const QStringList& referrers)
{
    QStringList fields { TimeStampText(clock.now()), name, ToNativeSeparators(localPath) };
    for (qsizetype i = referrers.size() - 1; i >= 0; --i)
        if (!referrers[i].isEmpty())
            fields.append(referrers[i]);
    return AppendRecordLines(LogPath(siteDir, DownloadLogName), { JoinRecordLine(fields) });
}

IoStatus WriteDetectedAddress(const QString& siteDir, const QString& address)
{
    return AppendRecordLines(LogPath(siteDir, DetectedLogName), { JoinRecordLine({ address, QString() }) });
}

QStringList ReadDetectedAddresses(const QString& siteDir)
{
    QStringList addresses;
    const QStringList lines = ReadRecordLines(LogPath(siteDir, DetectedLogName)).value_or(QStringList());
    for (const QString& line : lines) {
        if (line.isEmpty() || line == DetectedLogHeader)
            continue;
        addresses.append(SplitRecordLine(line).first());
    }
    return addresses;
}
