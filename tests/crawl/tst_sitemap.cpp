#include "address/robotsrules.h"
#include "crawl/sitemap.h"
#include "support/gzipped.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestSitemap : public QObject {
    Q_OBJECT
private slots:
    void readsWhatASitemapLists_data();
    void readsWhatASitemapLists();
    void staysWithinTheProtocolsBounds();
    void robotsTxtNamesItsSitemaps();
};

void TestSitemap::readsWhatASitemapLists_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<bool>("isIndex");
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<bool>("wellFormed");
    const QByteArray head = R"(<?xml version="1.0" encoding="UTF-8"?>)";
    QTest::newRow("pages, entities read, blanks and an image's loc left out")
        << head
            + R"(<urlset xmlns="http://www.sitemaps.org/schemas/sitemap/0.9" xmlns:image="x">)"
              "<url><loc> https://h/a.html?x=1&amp;y=2 </loc><lastmod>2026-01-01</lastmod>"
              "<image:image><image:loc>https://h/p.jpg</image:loc></image:image></url>"
              "<url><loc>https://h/%E5%86%99.html</loc></url></urlset>"
        << false << QStringList { u"https://h/a.html?x=1&y=2"_s, u"https://h/%E5%86%99.html"_s } << true;
    QTest::newRow("a doctype, a comment, a quoted >, empty elements, CDATA and numeric references")
        << head
            + R"(<!DOCTYPE urlset [<!ENTITY x "y">]><!-- <url><loc>http://h/no</loc></url> --><urlset a="1>2">)"
              "<url/><url><loc/></url><url><loc><![CDATA[http://h/c?a=1&b=]]]></loc></url>"
              "<url><loc>http://h/&#x6e;&#111;</loc></url></urlset>"
        << false << QStringList { u"http://h/c?a=1&b=]"_s, u"http://h/no"_s } << true;
    QTest::newRow("an index names sitemaps")
        << head + "<sitemapindex><sitemap><loc>http://h/s1.xml.gz</loc></sitemap></sitemapindex>" << true
        << QStringList { u"http://h/s1.xml.gz"_s } << true;
    QTest::newRow("only http and https addresses, only inside an entry")
        << "<urlset><loc>http://h/stray</loc><url><loc>ftp://h/f</loc></url><url><loc>/rel.html</loc></url>"
           "<url><loc>HTTP://h/b</loc></url></urlset>"_ba
        << false << QStringList { u"HTTP://h/b"_s } << true;
    QTest::newRow("an HTML page is no sitemap")
        << "<html><body>no</body></html>"_ba << false << QStringList {} << false;
    QTest::newRow("gzip, as .xml.gz is served") << Gzipped(head + "<urlset><url><loc>http://h/z</loc></url></urlset>")
                                                << false << QStringList { u"http://h/z"_s } << true;
    QTest::newRow("broken gzip") << "\x1f\x8b\x08\x00broken"_ba << false << QStringList {} << false;
    QTest::newRow("a broken end keeps what came before")
        << "<urlset><url><loc>http://h/a</loc></url><url><loc>http://h/b"_ba << false << QStringList { u"http://h/a"_s }
        << false;
}

void TestSitemap::readsWhatASitemapLists()
{
    QFETCH(QByteArray, xml);
    QFETCH(bool, isIndex);
    QFETCH(QStringList, addresses);
    QFETCH(bool, wellFormed);
    // Whole, and as a server's answer arrives: in pieces that split names, entities and gzip blocks.
    SitemapReader inPieces;
    for (qsizetype at = 0; at < xml.size(); at += 5)
        inPieces.add(QByteArrayView(xml).sliced(at, std::min<qsizetype>(5, xml.size() - at)));
    for (const Sitemap& sitemap : { ReadSitemap(xml), inPieces.finish() }) {
        QCOMPARE(sitemap.isIndex, isIndex);
        QCOMPARE(sitemap.addresses, addresses);
        QCOMPARE(sitemap.wellFormed, wellFormed);
        QVERIFY(!sitemap.cut);
    }
}

void TestSitemap::staysWithinTheProtocolsBounds()
{
    QByteArray xml = "<urlset>";
    for (qsizetype i = 0; i <= MostSitemapAddresses; ++i)
        xml += "<url><loc>http://h/" + QByteArray::number(i) + "</loc></url>";
    const Sitemap many = ReadSitemap(xml + "</urlset>");
    QVERIFY(many.cut);
    QCOMPARE(many.addresses.size(), MostSitemapAddresses);
    QCOMPARE(many.addresses.last(), u"http://h/49999"_s);
    // Beyond 50 MB nothing more is read, and what came before stands.
    const Sitemap large = ReadSitemap("<urlset><url><loc>http://h/a</loc></url><!--" + QByteArray(MostSitemapBytes, ' ')
        + "--><url><loc>http://h/b</loc></url></urlset>");
    QVERIFY(large.cut && large.wellFormed);
    QCOMPARE(large.addresses, QStringList { u"http://h/a"_s });
    // The same packed small, as a hostile server might: unpacking stops at the bound too.
    const Sitemap packed = ReadSitemap(Gzipped("<urlset><url><loc>http://h/a</loc></url><!--"
        + QByteArray(MostSitemapBytes, ' ') + "--><url><loc>http://h/b</loc></url></urlset>"));
    QVERIFY(packed.cut);
    QCOMPARE(packed.addresses, QStringList { u"http://h/a"_s });
    // Nor does a gzip header whose comment never ends keep it reading.
    QVERIFY(ReadSitemap("\x1f\x8b\x08\x10\0\0\0\0\0\x03" + QByteArray(MostSitemapBytes + 1, 'c')).cut);
}

void TestSitemap::robotsTxtNamesItsSitemaps()
{
    const QByteArray robots
        = "Sitemap: https://h/one.xml\nUser-agent: *\nDisallow: /p/\nSITEMAP:https://h/two.xml.gz\n";
    QCOMPARE(RobotsRules::parse(robots, u"Fetchwright"_s).sitemaps(),
        (QStringList { u"https://h/one.xml"_s, u"https://h/two.xml.gz"_s }));
    // Sitemaps belong to no group: a robots.txt of nothing but them names them too.
    QCOMPARE(RobotsRules::parse("Sitemap: http://h/s.xml\n", u"Fetchwright"_s).sitemaps(),
        QStringList { u"http://h/s.xml"_s });
}

QTEST_GUILESS_MAIN(TestSitemap)
#include "tst_sitemap.moc"
