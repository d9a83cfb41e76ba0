#include "address/addressfunctions.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace {

QStringList piecesOf(const QString& address)
{
    return address.split(u'/');
}

} // namespace

QString SiteRootOf(const QString& address)
{
    const QStringList pieces = piecesOf(address);
    if (pieces.size() < 4)
        return {};
    return pieces[0] + u'/' + pieces[1] + u'/' + pieces[2] + u'/';
}

QString HostOf(const QString& address)
{
    const QStringList pieces = piecesOf(address);
    return pieces.size() < 4 ? QString() : pieces[2];
}

QString DirectoryPathOf(const QString& address)
{
    const QStringList pieces = piecesOf(address);
    QString path = u"/"_s;
    for (qsizetype i = 3; i + 1 < pieces.size(); ++i)
        path += pieces[i] + u'/';
    return path;
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
