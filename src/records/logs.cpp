#include "records/logs.h"

#include "records/recordfile.h"
#include "records/recordline.h"

using namespace Qt::StringLiterals;

namespace {

IoStatus appendWithHeader(AppendFiles& files, const QString& path, const QString& header, const QStringList& fields)
{
    if (files.size(path) > 0)
        return AppendRecordLines(files, path, { JoinRecordLine(fields) });
    // Created whole, never by appending: a killed process leaves no empty log behind.
    files.close(path);
    return ReplaceRecordFile(path, { header, JoinRecordLine(fields) });
}

} // namespace

QString LogPath(const QString& siteDir, const QString& fileName)
{
    return siteDir + u'/' + fileName;
}

IoStatus WriteFailureReport(AppendFiles& files, const QString& siteDir, const Clock& clock, const QString& summary,
    const QString& detail, const QString& address, const QString& fileName)
{
    return appendWithHeader(files, LogPath(siteDir, fileName), FailureReportHeader,
        { TimeStampText(clock.now()), summary, detail, address });
}

IoStatus WriteErrorResponse(AppendFiles& files, const QString& siteDir, const Clock& clock, const QString& summary,
    const QString& detail, const QString& linkTarget, const QString& fileName, const QString& linkSource)
{
    return appendWithHeader(files, LogPath(siteDir, fileName), ErrorResponseHeader,
        { TimeStampText(clock.now()), summary, detail, linkTarget, linkSource });
}

IoStatus StartLog(AppendFiles& files, const QString& siteDir, const QString& fileName, const QString& header)
{
    files.close(LogPath(siteDir, fileName));
    return ReplaceRecordFile(LogPath(siteDir, fileName), { header });
}

IoStatus WriteDownloadLogLine(AppendFiles& files, const QString& siteDir, const Clock& clock, const QString& name,
    const QString& localPath, const QStringList& referrers)
{
    QStringList fields { TimeStampText(clock.now()), name, ToNativeSeparators(localPath) };
    for (qsizetype i = referrers.size() - 1; i >= 0; --i)
        if (!referrers[i].isEmpty())
            fields.append(referrers[i]);
    return AppendRecordLines(files, LogPath(siteDir, DownloadLogName), { JoinRecordLine(fields) });
}

IoStatus WriteDetectedAddress(AppendFiles& files, const QString& siteDir, const QString& address)
{
    return AppendRecordLines(files, LogPath(siteDir, DetectedLogName), { JoinRecordLine({ address, QString() }) });
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
