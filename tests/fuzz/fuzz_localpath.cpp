// Local path mapping of any address the crawl could queue (addresses are in wire form): the path
// is inside the site folder, no segment is empty, "." or "..", none holds NUL, and every one fits
// in 255 UTF-8 bytes. The site folder of any top address fits likewise. Existing files in the
// way are numbered around, so the same checks cover the numbered names.

#include "address/addressfunctions.h"
#include "crawl/linkaddress.h"
#include "storage/localpath.h"

#include "fuzzsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

void checkSegment(const QString& segment, const QString& path)
{
    FUZZ_CHECK(!segment.isEmpty() && segment != u"."_s && segment != u".."_s, path);
    FUZZ_CHECK(!segment.contains(QChar(0)), path);
    FUZZ_CHECK(segment.toUtf8().size() <= MaxNameBytes, segment);
}

void checkPath(const QString& siteDir, const QString& path)
{
    FUZZ_CHECK(path.startsWith(siteDir + u'/'), path);
    for (const QString& segment : path.mid(siteDir.size() + 1).split(u'/'))
        checkSegment(segment, path);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    FuzzedDataProvider data(bytes, size);
    const QString saveDir = ScratchDir() + u"/save/"_s;
    const QString siteDir = ScratchDir() + u"/save/H"_s;
    LocalTree tree { siteDir, u"http://H/"_s, data.ConsumeBool(), data.ConsumeBool(), data.ConsumeBool() };
    const bool writeFiles = data.ConsumeBool();
    const qint64 expectedSize = data.ConsumeIntegralInRange<qint64>(-1, 3);

    // An address as queued: scheme and host, then any path, in wire form.
    const QString rest = FuzzedText(data, 384);
    const QString address = EncodeForWire(data.ConsumeBool() ? u"http://H/"_s + rest : u"http://"_s + rest);
    const QString filedUnder = data.ConsumeBool() ? tree.topRoot : SiteRootOf(address);

    const QString siteFolder = SiteDirOf(saveDir, address);
    if (!HostOf(address).isEmpty())
        checkSegment(siteFolder.mid(saveDir.size()), siteFolder);

    if (writeFiles)
        EmptyFolder(siteDir);
    // Mapped twice with the first file written, so the second mapping meets it.
    for (int round = 0; round < (writeFiles ? 2 : 1); ++round) {
        QString name = FileNameOf(address);
        const QString path = MapLocalPath(tree, name, address, filedUnder, expectedSize);
        FUZZ_CHECK(!name.contains(u'/'), name);
        if (path.isEmpty())
            return 0;
        checkPath(siteDir, path);
        if (!writeFiles)
            return 0;
        MakeFolders(path);
        QFile file(path);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly), path + u": "_s + file.errorString());
        file.write(QByteArray(round + 5, 'x'));
        file.close();
        const QString canonical = QFileInfo(path).canonicalFilePath();
        FUZZ_CHECK(canonical.startsWith(QFileInfo(siteDir).canonicalFilePath() + u'/'), canonical);
    }
    return 0;
}
