#include "address/addressfunctions.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace {

// Where the third "/" of an address stands (the one after its host), or -1: the pieces of an
// address are found by position, without splitting it, as these run for every link.
qsizetype hostEndOf(const QString& address)
{
    qsizetype at = -1;
    for (int i = 0; i < 3; ++i) {
        at = address.indexOf(u'/', at + 1);
        if (at < 0)
            return -1;
    }
    return at;
}

} // namespace

QString SiteRootOf(const QString& address)
{
    const qsizetype hostEnd = hostEndOf(address);
    return hostEnd < 0 ? QString() : address.left(hostEnd + 1);
}

QString HostOf(const QString& address)
{
    const qsizetype hostEnd = hostEndOf(address);
    if (hostEnd < 0)
        return {};
    const qsizetype hostStart = address.lastIndexOf(u'/', hostEnd - 1) + 1;
    return address.mid(hostStart, hostEnd - hostStart);
}

QString DirectoryPathOf(const QString& address)
{
    const qsizetype hostEnd = hostEndOf(address);
    if (hostEnd < 0)
        return u"/"_s;
    return u'/' + address.mid(hostEnd + 1, address.lastIndexOf(u'/') - hostEnd);
}

QString DirectoryAddressOf(const QString& address)
{
    const qsizetype lastSlash = address.lastIndexOf(u'/');
    const QStringView last = QStringView(address).mid(lastSlash + 1);
    if (!last.contains(u'.'))
        return address;
    return address.left(lastSlash + 1);
}

QString FileNameOf(const QString& address)
{
    return address.mid(address.lastIndexOf(u'/') + 1);
}

void EnsureHostSlash(QString& address)
{
    if (address.count(u'/') + 1 <= 3)
        address += u'/';
}

int HexDigitValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}
