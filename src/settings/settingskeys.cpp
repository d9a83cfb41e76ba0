#include "settings/settingskeys.h"

#include "settings/storedvalues.h"

#include <QHash>

namespace SettingsDefaults {

namespace {

    const QHash<QString, QString>& table()
    {
        namespace K = SettingsKeys;
        const auto n = [](int value) { return QString::number(value); };
        static const QHash<QString, QString> defaults {
            { K::SearchType, n(SearchType) },
            { K::DeepCount, n(DeepCount) },
            { K::DownloadExts, DialogDownloadExts },
            { K::SkipSameName, n(1) },
            { K::NoDirTree, n(0) },
            { K::NumberDuplicates, n(1) },
            { K::MaxSize, n(MaxSizeKb) },
            { K::MinSize, n(MinSizeKb) },
            { K::ListViewCheck, n(1) },
            { K::AccessType, n(AccessType) },
            { K::PortNo, n(PortNo) },
            { K::RequestTimeout, n(RequestTimeout) },
            { K::Connections, n(Connections) },
            { K::RequestIntervalMs, n(RequestIntervalMs) },
            { K::FollowRetryAfter, n(1) },
            { K::FollowRobots, n(1) },
            { K::KeepCookies, n(1) },
            { K::Http2, n(1) },
            { K::BuffLen, n(BuffLenMb) },
            { K::ScanLimitMB, n(ScanLimitMb) },
            { K::MoreLinks, n(1) },
            { K::FollowSitemaps, n(1) },
            { K::UserAgent, UserAgent },
            { K::ListViewGraphs, ListViewGraphs },
            { K::ListViewSize, ListViewSize },
            { K::MakeListFileName, ListFileName },
            { K::MakeListExts, MakeListExts },
            { K::MakeAviMovCheck, n(0) },
            { K::MakeSwfDcrCheck, n(0) },
            { K::MakeSubDirCheck, n(1) },
            { K::MakeListFileCount, n(ListCount) },
            { K::MakeGraphListFileName, ListFileName },
            { K::MakeGraphListExts, MakeGraphListExts },
            { K::MakeGraphSubDirCheck, n(1) },
            { K::MakeGraphMinCheck, n(1) },
            { K::MakeGraphMinNLine, n(MakeGraphMinNLine) },
            { K::MakeGraphListCount, n(MakeGraphListCount) },
        };
        return defaults;
    }

} // namespace

QString Of(const QString& key)
{
    return table().value(key);
}

qint64 NumberOf(const QString& key)
{
    return qint64(TextToNumber(Of(key)).value_or(0));
}

} // namespace SettingsDefaults
