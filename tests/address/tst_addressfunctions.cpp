#include "address/addressfunctions.h"
#include "address/authority.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestAddressFunctions : public QObject {
    Q_OBJECT
private slots:
    void takesAddressesApart_data();
    void takesAddressesApart();
    void ensureHostSlash_data();
    void ensureHostSlash();
    void originsComeFromSchemeAndAuthority_data();
    void originsComeFromSchemeAndAuthority();
};

void TestAddressFunctions::takesAddressesApart_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("root");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("directoryPath");
    QTest::addColumn<QString>("directoryAddress");
    QTest::addColumn<QString>("fileName");

    QTest::newRow("a file two folders down")
        << u"http://h/a/b/c.html"_s << u"http://h/"_s << u"h"_s << u"/a/b/"_s << u"http://h/a/b/"_s << u"c.html"_s;
    QTest::newRow("a file directly under the host")
        << u"http://h/c.html"_s << u"http://h/"_s << u"h"_s << u"/"_s << u"http://h/"_s << u"c.html"_s;
    QTest::newRow("scheme and host only have no root and no host")
        << u"http://h"_s << QString() << QString() << u"/"_s << u"http://h"_s << u"h"_s;
    QTest::newRow("the bare host with its slash")
        << u"http://h/"_s << u"http://h/"_s << u"h"_s << u"/"_s << u"http://h/"_s << QString();
    QTest::newRow("a port stays part of the host") << u"https://h:8080/x/"_s << u"https://h:8080/"_s << u"h:8080"_s
                                                   << u"/x/"_s << u"https://h:8080/x/"_s << QString();
    QTest::newRow("a query without a slash stays in the file name")
        << u"http://h/cgi/view.cgi?id=3"_s << u"http://h/"_s << u"h"_s << u"/cgi/"_s << u"http://h/cgi/"_s
        << u"view.cgi?id=3"_s;
    QTest::newRow("a last segment without a dot is not a file name for the directory address")
        << u"http://h/a/b"_s << u"http://h/"_s << u"h"_s << u"/a/"_s << u"http://h/a/b"_s << u"b"_s;
    QTest::newRow("a folder name with a dot is taken for a file name")
        << u"http://h/a/release.2"_s << u"http://h/"_s << u"h"_s << u"/a/"_s << u"http://h/a/"_s << u"release.2"_s;
    QTest::newRow("text without any slash is one piece")
        << u"index.html"_s << QString() << QString() << u"/"_s << QString() << u"index.html"_s;
}

void TestAddressFunctions::takesAddressesApart()
{
    QFETCH(QString, address);
    QFETCH(QString, root);
    QFETCH(QString, host);
    QFETCH(QString, directoryPath);
    QFETCH(QString, directoryAddress);
    QFETCH(QString, fileName);
    QCOMPARE(SiteRootOf(address), root);
    QCOMPARE(HostOf(address), host);
    QCOMPARE(DirectoryPathOf(address), directoryPath);
    QCOMPARE(DirectoryAddressOf(address), directoryAddress);
    QCOMPARE(FileNameOf(address), fileName);
}

void TestAddressFunctions::ensureHostSlash_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("expected");
    QTest::newRow("scheme and host gain a slash") << u"http://h"_s << u"http://h/"_s;
    QTest::newRow("an address with a path is unchanged") << u"http://h/a"_s << u"http://h/a"_s;
    QTest::newRow("the bare host with its slash is unchanged") << u"http://h/"_s << u"http://h/"_s;
}

void TestAddressFunctions::ensureHostSlash()
{
    QFETCH(QString, address);
    QFETCH(QString, expected);
    EnsureHostSlash(address);
    QCOMPARE(address, expected);
    QCOMPARE(SiteRootOf(address).isEmpty(), false);
}

void TestAddressFunctions::originsComeFromSchemeAndAuthority_data()
{
    // In this order, as answers are kept per scheme and authority: later rows meet what earlier left.
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("origin");
    QTest::newRow("case, default port") << u"HTTP://Example.COM/a"_s << u"http://example.com:80"_s;
    QTest::newRow("a query after the authority") << u"http://u:p@h:8080?to=https://k/"_s << u"http://h:8080"_s;
    QTest::newRow("the same authority, a path") << u"http://u:p@h:8080/p"_s << u"http://h:8080"_s;
    QTest::newRow("an address in the path") << u"https://h/go/http://k:99/"_s << u"https://h:443"_s;
}

void TestAddressFunctions::originsComeFromSchemeAndAuthority()
{
    QFETCH(QString, address);
    QFETCH(QString, origin);
    QCOMPARE(OriginOf(address), origin);
    QCOMPARE(HostPortOf(address), origin.section(u"//"_s, 1));
    // An https page's address goes as Referer only to https.
    QCOMPARE(RefererMayGo(u"https://p/"_s, address), origin.startsWith(u"https"_s));
    QVERIFY(RefererMayGo(u"http://p/"_s, address));
}

QTEST_GUILESS_MAIN(TestAddressFunctions)
#include "tst_addressfunctions.moc"
