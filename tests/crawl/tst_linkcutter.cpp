#include "crawl/linkcutter.h"
#include "crawl/morelinks.h"

#include <QElapsedTimer>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QStringList cutAll(const QString& text, QList<bool>* bases = nullptr)
{
    QStringList values;
    LinkCutter cutter(text);
    while (const std::optional<CutLink> link = cutter.next()) {
        values.append(link->value);
        if (bases)
            bases->append(link->isBase);
    }
    return values;
}

} // namespace

class TestLinkCutter : public QObject {
    Q_OBJECT
private slots:
    void cutsValues_data();
    void cutsValues();
    void baseTagsAreMarked();
    void manyLinksAreCutInOrder();
    void cutsMoreLinks_data();
    void cutsMoreLinks();
};

void TestLinkCutter::cutsValues_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QStringList>("values");
    QTest::newRow("capital tag and attribute keep the value's case")
        << u"<A HREF=\"Pic.HTML\">x</A>"_s << QStringList { u"Pic.HTML"_s };
    QTest::newRow("a blank before the equals sign hides the link") << u"<a href =\"x.html\">"_s << QStringList {};
    QTest::newRow("an unquoted value ends at >") << u"<img src=pic.gif>"_s << QStringList { u"pic.gif"_s };
    QTest::newRow("single quotes are cut like double quotes") << u"<img src='a.gif'>"_s << QStringList { u"a.gif"_s };
    QTest::newRow("a quoted value ends at a blank") << u"<a href=\"my file.html\">"_s << QStringList { u"my"_s };
    QTest::newRow("a quoted value ends at the other quote") << u"<a href=\"it's.html\">"_s << QStringList { u"it"_s };
    QTest::newRow("href in a p tag yields nothing") << u"<p href=\"x.html\">"_s << QStringList {};
    QTest::newRow("src in a script tag yields its value")
        << u"<script src=\"s.js\"></script>"_s << QStringList { u"s.js"_s };
    QTest::newRow("src in script text yields its value")
        << u"<script>img.src=\"b.gif\";</script>"_s << QStringList { u"b.gif"_s };
    QTest::newRow("every value of a param is taken")
        << u"<param name=q value=high><param value=\"m.swf\">"_s << QStringList { u"high"_s, u"m.swf"_s };
    QTest::newRow("a refresh url after a closing quote is empty")
        << u"<meta http-equiv=refresh content=\"0; url=next.html\">"_s << QStringList { QString() };
    QTest::newRow("area and link tags carry hrefs")
        << u"<area href=a.html><link href=\"s.css\">"_s << QStringList { u"a.html"_s, u"s.css"_s };
    QTest::newRow("a is matched by abbr too") << u"<abbr href=\"x\">"_s << QStringList { u"x"_s };
    QTest::newRow("the second href of one tag is not taken")
        << u"<a href=\"x\" href=\"y\">"_s << QStringList { u"x"_s };
    QTest::newRow("a value running to the end of the text is empty") << u"<a href=abc"_s << QStringList { QString() };
    QTest::newRow("links come in page order")
        << u"<a href=1.html><img src=2.gif><a href='3.html'>"_s << QStringList { u"1.html"_s, u"2.gif"_s, u"3.html"_s };
    QTest::newRow("a line break inside a quoted value stays in it")
        << u"<a href=\"a\nb.html\">"_s << QStringList { u"a\nb.html"_s };
}

void TestLinkCutter::cutsValues()
{
    QFETCH(QString, page);
    QFETCH(QStringList, values);
    QCOMPARE(cutAll(page), values);
}

void TestLinkCutter::baseTagsAreMarked()
{
    QList<bool> bases;
    QCOMPARE(cutAll(u"<a href=x.html><base href=\"/docs\"><a href=y.html>"_s, &bases),
        (QStringList { u"x.html"_s, u"/docs"_s, u"y.html"_s }));
    QCOMPARE(bases, (QList<bool> { false, true, false }));
}

void TestLinkCutter::manyLinksAreCutInOrder()
{
    QString page;
    for (int i = 0; i < 5000; ++i)
        page += u"<p>text</p><a href=\"p%1.html\">x</a><img src=i%1.gif>"_s.arg(i);
    const QStringList values = cutAll(page);
    QCOMPARE(values.size(), 10000);
    QCOMPARE(values.first(), u"p0.html"_s);
    QCOMPARE(values.last(), u"i4999.gif"_s);
}

void TestLinkCutter::cutsMoreLinks_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QStringList>("values");
    QTest::newRow("srcset of img and source, x and w descriptors, with and without blanks after the commas")
        << u"<img srcset=\"a.jpg 1x,b.jpg 2x\"><picture><SOURCE srcset='s.webp 480w,  m.webp 800w'>"_s
        << QStringList { u"a.jpg"_s, u"b.jpg"_s, u"s.webp"_s, u"m.webp"_s };
    QTest::newRow("a comma inside a candidate's address stays in it, one at its end closes it")
        << u"<img data-srcset=\"x.php?w=1,2 100w, y.jpg, z.jpg\">"_s
        << QStringList { u"x.php?w=1,2"_s, u"y.jpg"_s, u"z.jpg"_s };
    QTest::newRow("url() in its three quotings and both forms of @import in a style element")
        << u"<style>@import \"i.css\"; @import url(j.css);\na{background:url(a.gif)} b{background:url('b.gif')}"
           "c{background:URL( \"c.gif\" )}</style><p>url(no.gif)"_s
        << QStringList { u"i.css"_s, u"j.css"_s, u"a.gif"_s, u"b.gif"_s, u"c.gif"_s };
    QTest::newRow("a sheet's comments and other strings hold no links")
        << u"<style>/* url(no.gif) */ a{content:\"url(no2.gif)\"} b{background:url(yes.gif)}</style>"_s
        << QStringList { u"yes.gif"_s };
    QTest::newRow("a style attribute with its quotes written as references")
        << u"<div class=x style=\"background:url(&quot;d.png&quot;)\">"_s << QStringList { u"d.png"_s };
    QTest::newRow("background of body, table, td and th, and the poster of a video")
        << u"<body background=b.gif><table background=\"t.gif\"><td background='c.gif'><th background=h.gif>"
           "<p background=p.gif><video poster=\"v.jpg\">"_s
        << QStringList { u"b.gif"_s, u"t.gif"_s, u"c.gif"_s, u"h.gif"_s, u"v.jpg"_s };
    QTest::newRow("a refresh in any case and quoting, not one that only reloads nor another meta's content")
        << u"<META CONTENT=\"30; URL = 'next.html'\" HTTP-EQUIV=Refresh><meta http-equiv=refresh content=0;b.html>"
           "<meta http-equiv=\"refresh\" content=\"30\"><meta name=x content=\"1; url=no.html\">"_s
        << QStringList { u"next.html"_s, u"b.html"_s };
    QTest::newRow("lazy loaders' attributes on any element, a url() among them; data-src is every scan's")
        << u"<img data-src=a.jpg data-original=o.jpg><div data-bg=\"url('bg.jpg')\" data-background=b2.jpg>"
           "<a data-full=f.jpg data-large=l.jpg data-hi-res=h.jpg data-highres=hh.jpg><p data-lazy-srcset=\"x.jpg 1x, y.jpg 2x\">"_s
        << QStringList { u"o.jpg"_s, u"bg.jpg"_s, u"b2.jpg"_s, u"f.jpg"_s, u"l.jpg"_s, u"h.jpg"_s, u"hh.jpg"_s,
               u"x.jpg"_s, u"y.jpg"_s };
    QTest::newRow("a page's shared picture, preloaded candidates, SVG images and an object's data")
        << u"<meta property=\"og:image\" content=\"og.jpg\"><meta name=twitter:image content=tw.jpg>"
           "<meta property=og:title content=no.jpg><link rel=preload as=image imagesrcset=\"p1.jpg 1x, p2.jpg 2x\">"
           "<svg><image href=s.png /><image xlink:href=\"x.svg\"/></svg><object data=o.swf>"_s
        << QStringList { u"og.jpg"_s, u"tw.jpg"_s, u"p1.jpg"_s, u"p2.jpg"_s, u"s.png"_s, u"x.svg"_s, u"o.swf"_s };
    QTest::newRow("character references, then CSS escapes, read as a browser reads them")
        << u"<p style=\"background:url(&#x22;a&amp;b.png&#34;)\"><style>a{background:url(\\31 .png)}"
           "b{background:url(\"c\\\"d.png\")} @import '\\66 .css';</style>"_s
        << QStringList { u"a&b.png"_s, u"1.png"_s, u"c\"d.png"_s, u"f.css"_s };
    QTest::newRow("image-set() with url() and bare strings, not its type()")
        << u"<style>a{background:image-set(\"a1.png\" 1x, url(a2.png) 2x)} b{background:-webkit-image-set('w.png' 1x,"
           " \"w.avif\" type(\"image/avif\"))} c{content:\"no.png\"}</style>"_s
        << QStringList { u"a1.png"_s, u"a2.png"_s, u"w.png"_s, u"w.avif"_s };
    QTest::newRow("comments, scripts and the srcset of other tags are skipped")
        << u"<!-- <img srcset=c.jpg> --><script>s='<img srcset=s.jpg>'</script><p srcset=p.jpg><img srcset=k.jpg>"_s
        << QStringList { u"k.jpg"_s };
}

void TestLinkCutter::cutsMoreLinks()
{
    QFETCH(QString, page);
    QFETCH(QStringList, values);
    QStringList cut;
    for (const TextLink& link : MoreLinksOfPage(page))
        cut.append(link.value);
    QCOMPARE(cut, values);
}

QTEST_GUILESS_MAIN(TestLinkCutter)
#include "tst_linkcutter.moc"
