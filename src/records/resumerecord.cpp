#include "records/resumerecord.h"

#include "address/addressfunctions.h"
#include "productnames.h"
#include "records/recordfile.h"
#include "records/recordline.h"
#include "settings/settingsstore.h"

#include <QFile>

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

template <typename Int> bool parseInteger(const QString& text, Int& value)
{
    bool ok = false;
    const qint64 number = text.trimmed().toLongLong(&ok);
    if (!ok || number < std::numeric_limits<Int>::min() || number > std::numeric_limits<Int>::max())
        return false;
    value = Int(number);
    return true;
}

bool parseFlag(const QString& text, bool& value)
{
    const std::optional<bool> flag = TextToFlag(text);
    if (flag)
        value = *flag;
    return flag.has_value();
}

} // namespace

QString FlagText(bool flag)
{
    return flag ? u"True"_s : u"False"_s;
}

namespace {

const QString StageNames[] = { QStringLiteral("seeding"), QStringLiteral("taken"), QStringLiteral("done") };

void appendCheckpoint(QStringList& fields, const ResumeCheckpoint& c)
{
    const auto n = [](qint64 value) { return QString::number(value); };
    fields << StageNames[c.stage] << n(c.workListSize) << n(c.detectedLogSize) << n(c.downloadLogSize)
           << n(c.failureReportSize) << n(c.errorLogSize);
    for (qint32 counter : c.counters.values)
        fields << n(counter);
    fields << c.pendingPath;
}

std::optional<ResumeCheckpoint> parseCheckpoint(const QStringList& f)
{
    if (f.size() < ResumeFieldCount + CheckpointFieldCount)
        return std::nullopt;
    ResumeCheckpoint c;
    const qsizetype stage = std::find(std::begin(StageNames), std::end(StageNames), f[29]) - std::begin(StageNames);
    if (stage >= 3)
        return std::nullopt;
    c.stage = ResumeCheckpoint::Stage(stage);
    bool ok = parseInteger(f[30], c.workListSize) && parseInteger(f[31], c.detectedLogSize)
        && parseInteger(f[32], c.downloadLogSize) && parseInteger(f[33], c.failureReportSize)
        && parseInteger(f[34], c.errorLogSize);
    for (int i = 0; i < 6; ++i)
        ok = ok && parseInteger(f[35 + i], c.counters.values[size_t(i)]);
    if (!ok)
        return std::nullopt;
    c.pendingPath = f[FieldPendingPath];
    return c;
}

} // namespace

QStringList ResumeRecord::toFields() const
{
    const auto n = [](qint64 value) { return QString::number(value); };
    QStringList fields { topAddr, n(workLine), workList, n(accessType), proxy, n(remotePort), n(requestTimeout),
        saveDir, n(depthLimit), n(searchType), FlagText(noDirTree), FlagText(skipSameName), downloadExts,
        onDownFileNames, notDownFileNames, FlagText(numberDuplicates), n(bufferSize), n(curDepth), currentAddress,
        n(counters[Counter::Detect]), n(counters[Counter::Download]), n(counters[Counter::Checked]),
        n(counters[Counter::Failure]), n(counters[Counter::Planned]), n(counters[Counter::ErrorResponse]), n(maxSize),
        n(minSize), authString, userAgent };
    if (checkpoint)
        appendCheckpoint(fields, *checkpoint);
    if (checkpoint && moreLinks) {
        fields << FlagText(*moreLinks);
        if (followSitemaps)
            fields << FlagText(*followSitemaps);
    }
    return fields;
}

std::optional<ResumeRecord> ResumeRecord::fromFields(const QStringList& f)
{
    if (f.size() < ResumeFieldCount)
        return std::nullopt;
    ResumeRecord r;
    r.topAddr = f[0];
    r.workList = f[2];
    r.proxy = f[4];
    r.saveDir = f[7];
    r.downloadExts = f[12];
    r.onDownFileNames = f[13];
    r.notDownFileNames = f[14];
    r.currentAddress = f[18];
    r.authString = f[27];
    r.userAgent = f[28];
    const bool ok = parseInteger(f[1], r.workLine) && parseInteger(f[3], r.accessType)
        && parseInteger(f[5], r.remotePort) && parseInteger(f[6], r.requestTimeout) && parseInteger(f[8], r.depthLimit)
        && parseInteger(f[9], r.searchType) && parseFlag(f[10], r.noDirTree) && parseFlag(f[11], r.skipSameName)
        && parseFlag(f[15], r.numberDuplicates) && parseInteger(f[16], r.bufferSize) && parseInteger(f[17], r.curDepth)
        && std::all_of(AllCounters.begin(), AllCounters.end(),
            [&](Counter c) { return parseInteger(f[ResumeFieldOf(c)], r.counters.values[size_t(c)]); })
        && parseInteger(f[25], r.maxSize) && parseInteger(f[26], r.minSize);
    if (!ok)
        return std::nullopt;
    r.checkpoint = parseCheckpoint(f);
    bool moreLinks = false;
    if (f.size() > FieldMoreLinks && parseFlag(f[FieldMoreLinks], moreLinks))
        r.moreLinks = moreLinks;
    bool followSitemaps = false;
    if (r.moreLinks && f.size() > FieldFollowSitemaps && parseFlag(f[FieldFollowSitemaps], followSitemaps))
        r.followSitemaps = followSitemaps;
    return r;
}

QString ResumeRecordPath(const QString& siteDir)
{
    return siteDir + u'/' + ProductName + u"Recode.csv"_s;
}

QString CookieJarPath(const QString& siteDir)
{
    return siteDir + u'/' + ProductName + u"Cookies.txt"_s;
}

QString ResumeListPath(const QString& saveDir)
{
    return saveDir + ProductName + u"Recode.csv"_s;
}

IoStatus WriteResumeRecord(const QString& path, const ResumeRecord& record)
{
    // The record holds the credential.
    return ReplaceRecordFile(path, { JoinRecordLine(record.toFields()) }, FileAccess::OwnerOnly);
}

IoStatus AppendResumeRecord(AppendFiles& files, const QString& path, const ResumeRecord& record)
{
    const QByteArray line = EncodeRecordLines({ JoinRecordLine(record.toFields()) });
    // A file is never created by appending: a process killed between creating and writing it would
    // leave an empty record, from which nothing can be resumed.
    const qint64 size = files.size(path);
    if (size > 0 && size + line.size() <= MaxAppendedResumeBytes)
        return files.append(path, line);
    files.close(path);
    return ReplaceFileAtomically(path, line, FileAccess::OwnerOnly);
}

IoStatus SettleResumeRecord(AppendFiles& files, const QString& path, const ResumeRecord& record)
{
    const QByteArray line = EncodeRecordLines({ JoinRecordLine(record.toFields()) });
    if (files.size(path) == line.size())
        return IoStatus::success();
    files.close(path);
    return ReplaceFileAtomically(path, line, FileAccess::OwnerOnly);
}

namespace {

// The last line that has its line end: a process killed while appending the next record may leave
// an unfinished line after it. A file of one unfinished line is taken as it is.
std::optional<QStringList> readLastRecordLine(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.readAll();
    const qsizetype lastEnd = bytes.lastIndexOf('\n');
    if (lastEnd >= 0 && lastEnd + 1 < bytes.size())
        bytes.truncate(lastEnd + 1);
    const QStringList lines = DecodeRecordLines(bytes);
    if (lines.isEmpty())
        return std::nullopt;
    return SplitRecordLine(lines.last());
}

} // namespace

std::optional<ResumeRecord> ReadResumeRecord(const QString& path)
{
    const std::optional<QStringList> fields = readLastRecordLine(path);
    if (!fields)
        return std::nullopt;
    return ResumeRecord::fromFields(*fields);
}

std::optional<QStringList> ReadResumeList(const QString& path)
{
    const std::optional<QStringList> lines = ReadRecordLines(path);
    if (!lines)
        return std::nullopt;
    QStringList addresses;
    for (const QString& line : *lines)
        if (!line.isEmpty())
            addresses.append(UnescapeRecordField(line));
    return addresses;
}

IoStatus WriteResumeList(const QString& path, const QStringList& addresses)
{
    QStringList lines;
    for (const QString& address : addresses)
        if (!address.isEmpty())
            lines.append(EscapeRecordField(address));
    return ReplaceRecordFile(path, lines);
}

IoStatus DropFromResumeList(const QString& path, const QString& topAddr)
{
    const QString root = SiteRootOf(topAddr);
    QStringList kept;
    for (const QString& address : ReadResumeList(path).value_or(QStringList()))
        if (SiteRootOf(address) != root)
            kept.append(address);
    return WriteResumeList(path, kept);
}
