#pragma once
// The four CSV logs of a crawl, in SiteDir: downloads, detected addresses, failures and error
// responses. A header line of unquoted column names, then one record line per event; each writer
// appends one line in one write to the log kept open in files, so a killed process leaves whole
// lines. Writers tell their caller when the log could not be written.

#include "platform/clock.h"
#include "platform/filesystem.h"

#include <QString>
#include <QStringList>

inline const QString DownloadLogName = QStringLiteral("ダウンロードファイルログ.csv");
inline const QString DetectedLogName = QStringLiteral("検出アドレス.csv");
inline const QString FailureReportName = QStringLiteral("障害報告.csv");
inline const QString ErrorResponseLogName = QStringLiteral("エラーレスポンス.csv");

inline const QString DownloadLogHeader
    = QStringLiteral("日時,元ファイル名,保存されたファイル名（フルパス）,ファイルの有ったアドレス,"
                     "前アドレスへのリンクの有るアドレス→,・・・・・");
inline const QString DetectedLogHeader = QStringLiteral("アドレス,Webサーバレスポンス");
inline const QString FailureReportHeader = QStringLiteral("日時,適用,詳細,アドレス");
inline const QString ErrorResponseHeader = QStringLiteral("日時,適用,詳細,リンク先アドレス,リンク元アドレス");

QString LogPath(const QString& siteDir, const QString& fileName);

// Appends a four-field record to SiteDir/fileName, creating the file with its header when it is
// missing or empty.
IoStatus WriteFailureReport(AppendFiles& files, const QString& siteDir, const Clock& clock, const QString& summary,
    const QString& detail, const QString& address, const QString& fileName);
// Appends a five-field record to SiteDir/fileName, creating the file with its header likewise.
IoStatus WriteErrorResponse(AppendFiles& files, const QString& siteDir, const Clock& clock, const QString& summary,
    const QString& detail, const QString& linkTarget, const QString& fileName, const QString& linkSource);

// Replaces the log with its header line alone (a new run's download and detected-address logs).
IoStatus StartLog(AppendFiles& files, const QString& siteDir, const QString& fileName, const QString& header);

// One download: time stamp, the file's name, its local path in native separators, then the
// referrer chain from the file's own address back to the top address, empty elements left out.
IoStatus WriteDownloadLogLine(AppendFiles& files, const QString& siteDir, const Clock& clock, const QString& name,
    const QString& localPath, const QStringList& referrers);
// One detected address, with the always empty web-server-response column.
IoStatus WriteDetectedAddress(AppendFiles& files, const QString& siteDir, const QString& address);
// The addresses of the detected-address log in order; the header and empty lines are skipped.
QStringList ReadDetectedAddresses(const QString& siteDir);
