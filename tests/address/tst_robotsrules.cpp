#include "address/robotsrules.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestRobotsRules : public QObject {
    Q_OBJECT
private slots:
    void allows_data();
    void allows();
};

namespace {

const QByteArray Groups = "User-agent: *\nDisallow: /private/\nAllow: /private/open/\n\n"
                          "User-agent: Fetchwright\nUser-agent: other\nDisallow: /mine/\nAllow: /mine/*.gif$\n"
                          "Disallow: /*.php\nCrawl-delay: 2.5\n";

} // namespace

void TestRobotsRules::allows_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("allowed");
    const QString h = u"http://h.example"_s;
    QTest::newRow("our own group is taken instead of the one for everyone") << Groups << h + u"/private/a"_s << true;
    QTest::newRow("our token is matched whatever its case and version, a comment left out")
        << "User-agent: FETCHWRIGHT/2.0 # us\r\nDisallow: /\r\n"_ba << h + u"/a"_s << false;
    QTest::newRow("without ours the groups for everyone apply")
        << "User-agent: *\nDisallow: /p/\n"_ba << h + u"/p/a.gif"_s << false;
    QTest::newRow("groups naming the same agent are combined")
        << "User-agent: *\nDisallow: /a/\n\nUser-agent: *\nDisallow: /b/\n"_ba << h + u"/b/x"_s << false;
    QTest::newRow("a wildcard matches any run of characters") << Groups << h + u"/x/y.php?q=1"_s << false;
    QTest::newRow("a final $ matches the end of the path") << Groups << h + u"/mine/a.gif"_s << true;
    QTest::newRow("so a longer path is not matched by it") << Groups << h + u"/mine/a.gifx"_s << false;
    QTest::newRow("the longest match wins")
        << "User-agent: *\nDisallow: /a\nAllow: /a/b\n"_ba << h + u"/a/b/c"_s << true;
    QTest::newRow("Allow wins a tie") << "User-agent: *\nDisallow: /page\nAllow: /*age\n"_ba << h + u"/page"_s << true;
    QTest::newRow("rules before any group and an empty Disallow mean nothing")
        << "Disallow: /\nUser-agent: *\nDisallow:\n"_ba << h + u"/x"_s << true;
    QTest::newRow("an encoded unreserved character equals itself")
        << "User-agent: *\nDisallow: /%7euser/\n"_ba << h + u"/~user/a"_s << false;
    QTest::newRow("characters beyond ASCII are compared encoded")
        << "User-agent: *\nDisallow: /写真/\n"_ba << h + u"/%E5%86%99%E7%9C%9F/a.jpg"_s << false;
    QTest::newRow("robots.txt itself is always allowed")
        << "User-agent: *\nDisallow: /\n"_ba << h + u"/robots.txt"_s << true;
}

void TestRobotsRules::allows()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, address);
    QFETCH(bool, allowed);
    QCOMPARE(RobotsRules::parse(text, u"Fetchwright"_s).allows(RobotsPathOf(address)), allowed);
}

QTEST_GUILESS_MAIN(TestRobotsRules)
#include "tst_robotsrules.moc"
