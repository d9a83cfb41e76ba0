#include "transfer/cookiejar.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// count cookies named prefix0, prefix1, ... of domain, one cookies.txt line each.
QList<QByteArray> cookies(const QByteArray& domain, const QByteArray& prefix, int count, const QByteArray& value = "v")
{
    QList<QByteArray> lines;
    for (int i = 0; i < count; ++i)
        lines.append(domain + "\tFALSE\t/\tFALSE\t0\t" + prefix + QByteArray::number(i) + '\t' + value);
    return lines;
}

} // namespace

class TestCookieJar : public QObject {
    Q_OBJECT
private slots:
    void keepsTheNewestWithinItsBounds_data();
    void keepsTheNewestWithinItsBounds();
};

void TestCookieJar::keepsTheNewestWithinItsBounds_data()
{
    QTest::addColumn<QList<QByteArray>>("file"); // the cookies the jar starts with, in a file's order
    QTest::addColumn<QList<QList<QByteArray>>>("answers"); // the cookies as each answer left them
    QTest::addColumn<int>("kept");
    QTest::addColumn<QByteArray>("firstKept"); // the oldest cookie kept
    QList<QList<QByteArray>> domains;
    for (int d = 0; d < 61; ++d)
        domains.append(domains.value(d - 1) + cookies("h" + QByteArray::number(d) + ".example", "c", 50));
    QTest::newRow("3,050 cookies of 61 domains: the first domain's go")
        << QList<QByteArray>() << domains << 3000 << "h1.example\tFALSE\t/\tFALSE\t0\tc0\tv"_ba;
    QTest::newRow("a file's first lines are its oldest") << cookies("a.example", "c", 52) << QList<QList<QByteArray>>()
                                                         << 50 << "a.example\tFALSE\t/\tFALSE\t0\tc2\tv"_ba;
    QTest::newRow("a cookie an answer replaces keeps its age")
        << cookies("a.example", "c", 50)
        << QList<QList<QByteArray>> { cookies("a.example", "c", 50, "new") + cookies("a.example", "n", 1) } << 50
        << "a.example\tFALSE\t/\tFALSE\t0\tc1\tnew"_ba;
}

void TestCookieJar::keepsTheNewestWithinItsBounds()
{
    QFETCH(QList<QByteArray>, file);
    QFETCH(QList<QList<QByteArray>>, answers);
    QFETCH(int, kept);
    QFETCH(QByteArray, firstKept);
    CookieJar jar;
    jar.setText(file.join('\n'), true);
    bool dropped = false;
    for (const QList<QByteArray>& answer : answers)
        dropped = !jar.commit(answer) || dropped;
    QCOMPARE(jar.lines().size(), kept);
    QCOMPARE(jar.lines().constFirst(), firstKept);
    QCOMPARE(dropped, !answers.isEmpty());
}

QTEST_GUILESS_MAIN(TestCookieJar)
#include "tst_cookiejar.moc"
