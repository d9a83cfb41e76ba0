#include "storage/partfilename.h"

#include <QCryptographicHash>
#include <QFileInfo>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const QString Prefix = u".fetchwright-"_s;
const QString Suffix = u".part"_s;
constexpr qsizetype HashLength = 16;

} // namespace

QString PartFilePath(const QString& localPath)
{
    const QFileInfo info(localPath);
    // A hash keeps the temporary name short whatever the length of the real one.
    const QByteArray hash = QCryptographicHash::hash(info.fileName().toUtf8(), QCryptographicHash::Sha1).toHex();
    return info.path() + u'/' + Prefix + QString::fromLatin1(hash.left(HashLength)) + Suffix;
}

bool IsPartFileName(const QString& fileName)
{
    if (fileName.size() != Prefix.size() + HashLength + Suffix.size()
        || !fileName.startsWith(Prefix, Qt::CaseInsensitive) || !fileName.endsWith(Suffix, Qt::CaseInsensitive))
        return false;
    const QStringView hash = QStringView(fileName).mid(Prefix.size(), HashLength);
    return std::all_of(hash.begin(), hash.end(), [](QChar c) {
        const char16_t u = c.toLower().unicode();
        return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f');
    });
}
