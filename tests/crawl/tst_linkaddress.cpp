#include "crawl/linkaddress.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestLinkAddress : public QObject {
    Q_OBJECT
private slots:
    void decodes_data();
    void decodes();
    void resolves_data();
    void resolves();
    void unusualRootsAndLongLinks_data();
    void unusualRootsAndLongLinks();
    void relativeBase_data();
    void relativeBase();
    void scope_data();
    void scope();
    void wireForm_data();
    void wireForm();
};

void TestLinkAddress::decodes_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("decoded");
    QTest::newRow("a decimal reference") << u"a&#38;b"_s << u"a&b"_s;
    QTest::newRow("a hexadecimal reference") << u"a&#x26;b&#X41;"_s << u"a&bA"_s;
    QTest::newRow("codes above 127 are Unicode") << u"&#20889;&#x5199;"_s << u"写写"_s;
    QTest::newRow("a reference without semicolon takes the rest") << u"a&#38"_s << u"a&"_s;
    QTest::newRow("a zero-width no-break space is kept") << u"a&#xFEFF;b&#65279;"_s << u"a\uFEFFb\uFEFF"_s;
    QTest::newRow("a reference that is no number stays") << u"a&#zz;b"_s << u"a&#zz;b"_s;
    QTest::newRow("named references") << u"a&amp;b&lt;&GT;&quot;&apos;"_s << u"a&b<>\"'"_s;
    QTest::newRow("decoding is single-level") << u"&amp;lt;"_s << u"&lt;"_s;
    QTest::newRow("mixed-case names are left alone") << u"&Amp;"_s << u"&Amp;"_s;
    QTest::newRow("backslashes become slashes, line breaks go") << u"a\\b\r\nc"_s << u"a/bc"_s;
}

void TestLinkAddress::decodes()
{
    QFETCH(QString, raw);
    QFETCH(QString, decoded);
    QCOMPARE(DecodeLinkText(raw), decoded);
}

void TestLinkAddress::resolves_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("resolved");
    const QString base = u"http://h/a/b/"_s;
    QTest::newRow("two levels up") << u"../../x.html"_s << base << u"http://h/x.html"_s;
    QTest::newRow("dot slash") << u"./y.html"_s << base << u"http://h/a/b/y.html"_s;
    QTest::newRow("root-relative uses the page root, not the base")
        << u"/z.html"_s << u"http://o/q/"_s << u"http://h/z.html"_s;
    QTest::newRow("protocol-relative takes the page's scheme to the other host")
        << u"//other/x"_s << base << u"http://other/x"_s;
    QTest::newRow("dot-dot never climbs above the host") << u"../../../../x.html"_s << base << u"http://h/x.html"_s;
    QTest::newRow("a fragment is stripped") << u"page.html#part"_s << base << u"http://h/a/b/page.html"_s;
    QTest::newRow("a fragment alone is dropped") << u"#top"_s << base << QString();
    QTest::newRow("slash-hash is dropped") << u"/#top"_s << base << QString();
    QTest::newRow("a directory listing query is dropped") << u"/list/?page=2"_s << base << QString();
    QTest::newRow("a query-only link is dropped after joining") << u"?page=2"_s << base << QString();
    QTest::newRow("mailto is dropped") << u"mailto:x"_s << base << QString();
    QTest::newRow("MAILTO is dropped") << u"MAILTO:x"_s << base << QString();
    QTest::newRow("news is dropped") << u"news:x"_s << base << QString();
    QTest::newRow("ftp anywhere is dropped") << u"http://h/ftp:x"_s << base << QString();
    QTest::newRow("an absolute address stays") << u"https://k/x"_s << base << u"https://k/x"_s;
    QTest::newRow("a script pseudo-link is dropped") << u"javascript:go()"_s << base << QString();
    QTest::newRow("a mistyped scheme is dropped") << u"hhttps://h/x"_s << base << QString();
    QTest::newRow("http without a host part is dropped") << u"http:x.html"_s << base << QString();
    QTest::newRow("a capital scheme is written in lower case") << u"HTTPS://k/x"_s << base << u"https://k/x"_s;
    QTest::newRow("a name that begins with http is relative")
        << u"http_faq.html"_s << base << u"http://h/a/b/http_faq.html"_s;
    QTest::newRow("a root-based base ends on the page root") << u"x.html"_s << u"/docs/"_s << u"http://h/docs/x.html"_s;
    QTest::newRow("a relative base that never becomes absolute is refused") << u"x.html"_s << u"docs/"_s << QString();
}

void TestLinkAddress::resolves()
{
    QFETCH(QString, link);
    QFETCH(QString, base);
    QFETCH(QString, resolved);
    QCOMPARE(ResolveAgainstBase(link, base, u"http://h/"_s), resolved);
}

void TestLinkAddress::unusualRootsAndLongLinks_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("pageRoot");
    QTest::addColumn<QString>("resolved");
    const QString base = u"http://h/a/b/"_s;
    QTest::newRow("a root-relative link against the root \"/\" is refused") << u"/x"_s << base << u"/"_s << QString();
    QTest::newRow("a root-relative link against a root that would lengthen it is refused")
        << u"/x"_s << base << u"/a/"_s << QString();
    QTest::newRow("a protocol-relative link against another scheme's root is refused")
        << u"//k/x"_s << base << u"x://h/"_s << QString();
    QTest::newRow("a root-based base without a page root is refused")
        << u"x.html"_s << u"/docs/"_s << QString() << QString();
    QTest::newRow("a link that needs no root resolves without one")
        << u"../x.html"_s << base << QString() << u"http://h/a/x.html"_s;
    QTest::newRow("twenty thousand dot segments resolve")
        << u"./"_s.repeated(20000) + u"x.html"_s << base << u"http://h/"_s << u"http://h/a/b/x.html"_s;
    QTest::newRow("ten thousand climbs stop at the host")
        << u"../"_s.repeated(10000) + u"x.html"_s << base << u"http://h/"_s << u"http://h/x.html"_s;
}

void TestLinkAddress::unusualRootsAndLongLinks()
{
    QFETCH(QString, link);
    QFETCH(QString, base);
    QFETCH(QString, pageRoot);
    QFETCH(QString, resolved);
    QCOMPARE(ResolveAgainstBase(link, base, pageRoot), resolved);
}

void TestLinkAddress::relativeBase_data()
{
    QTest::addColumn<QString>("directoryAddress");
    QTest::addColumn<QString>("base");
    QTest::newRow("a directory address stays") << u"http://h/a/"_s << u"http://h/a/"_s;
    QTest::newRow("a page without dot or slash gives its folder") << u"http://h/a/page"_s << u"http://h/a/"_s;
    QTest::newRow("scheme and host gain their slash") << u"http://h"_s << u"http://h/"_s;
}

void TestLinkAddress::relativeBase()
{
    QFETCH(QString, directoryAddress);
    QFETCH(QString, base);
    QCOMPARE(RelativeBase(directoryAddress), base);
}

void TestLinkAddress::scope_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<int>("searchType");
    QTest::addColumn<bool>("inScope");
    QTest::newRow("below the address, scope 1") << u"http://h/a/x.html"_s << 1 << true;
    QTest::newRow("beside the address, scope 1") << u"http://h/b/x.html"_s << 1 << false;
    QTest::newRow("beside the address, scope 2") << u"http://h/b/x.html"_s << 2 << true;
    QTest::newRow("another host, scope 2") << u"http://k/x.html"_s << 2 << false;
    QTest::newRow("another host, scope 3") << u"http://k/x.html"_s << 3 << true;
    QTest::newRow("https on the top host, scope 2") << u"https://h/x.html"_s << 2 << false;
    QTest::newRow("an unknown scope acts as 2") << u"http://h/b/x.html"_s << 7 << true;
}

void TestLinkAddress::scope()
{
    QFETCH(QString, link);
    QFETCH(int, searchType);
    QFETCH(bool, inScope);
    QCOMPARE(InScope(link, searchType, u"http://h/"_s, u"http://h/a/"_s), inScope);
}

void TestLinkAddress::wireForm_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("wire");
    QTest::newRow("a plain address is unchanged") << u"http://h/a.gif?x=1&y=%20"_s << u"http://h/a.gif?x=1&y=%20"_s;
    QTest::newRow("Japanese becomes UTF-8 escapes") << u"http://h/写.jpg"_s << u"http://h/%E5%86%99.jpg"_s;
    QTest::newRow("blank, tab, quote and bar") << u"http://h/a b\t\"|"_s << u"http://h/a%20b%09%22%7C"_s;
    QTest::newRow("encoding twice changes nothing") << u"http://h/%E5%86%99.jpg"_s << u"http://h/%E5%86%99.jpg"_s;
}

void TestLinkAddress::wireForm()
{
    QFETCH(QString, address);
    QFETCH(QString, wire);
    QCOMPARE(EncodeForWire(address), wire);
    QCOMPARE(EncodeForWire(EncodeForWire(address)), wire);
}

QTEST_GUILESS_MAIN(TestLinkAddress)
#include "tst_linkaddress.moc"
