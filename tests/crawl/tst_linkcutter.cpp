#include "crawl/linkcutter.h"

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

QTEST_GUILESS_MAIN(TestLinkCutter)
#include "tst_linkcutter.moc"
