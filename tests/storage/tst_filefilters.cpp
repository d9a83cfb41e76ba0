#include "storage/filefilters.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QStringList expanded(const QString& setting)
{
    QStringList list = SplitFilterSetting(setting);
    ExpandNamePatterns(list);
    return list;
}

} // namespace

class TestFileFilters : public QObject {
    Q_OBJECT
private slots:
    void expandsLists_data();
    void expandsLists();
    void filtersFiles_data();
    void filtersFiles();
    void sizeRules_data();
    void sizeRules();
    void hugeRangeIsBounded();
    void rangesStayWithinTheirLimits_data();
    void rangesStayWithinTheirLimits();
};

void TestFileFilters::expandsLists_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("extensions lose their dot and case")
        << u".gif;.JPG;.mpg;.avi;.rm"_s << QStringList { u"gif"_s, u"jpg"_s, u"mpg"_s, u"avi"_s, u"rm"_s };
    QTest::newRow("an empty setting gives no entries") << QString() << QStringList {};
    QTest::newRow("a trailing semicolon gives an empty entry") << u".gif;"_s << QStringList { u"gif"_s, QString() };
    QTest::newRow("only one leading dot is removed") << u"..x"_s << QStringList { u".x"_s };
    QTest::newRow("a range keeps its width from the upper bound")
        << u"[8-12]"_s << QStringList { u"[8-12]"_s, u"08"_s, u"09"_s, u"10"_s, u"11"_s, u"12"_s };
    QTest::newRow("one to ten are written with two digits")
        << u"[1-10]"_s
        << QStringList { u"[1-10]"_s, u"01"_s, u"02"_s, u"03"_s, u"04"_s, u"05"_s, u"06"_s, u"07"_s, u"08"_s, u"09"_s,
               u"10"_s };
    QTest::newRow("text around a range takes no part in it")
        << u"img[01-03].jpg;b"_s << QStringList { u"img[01-03].jpg"_s, u"b"_s, u"01"_s, u"02"_s, u"03"_s };
    QTest::newRow("a reversed range adds nothing") << u"[5-1]"_s << QStringList { u"[5-1]"_s };
    QTest::newRow("letters are no range") << u"[a-z]"_s << QStringList { u"[a-z]"_s };
    QTest::newRow("an empty bound is no range") << u"[-3]"_s << QStringList { u"[-3]"_s };
    QTest::newRow("a dash before the bracket is no range") << u"a-b[1-2]"_s << QStringList { u"a-b[1-2]"_s };
}

void TestFileFilters::expandsLists()
{
    QFETCH(QString, setting);
    QFETCH(QStringList, expected);
    QCOMPARE(expanded(setting), expected);
}

void TestFileFilters::filtersFiles_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("extensions");
    QTest::addColumn<QString>("include");
    QTest::addColumn<QString>("exclude");
    QTest::addColumn<bool>("passes");

    const QString exts = u".gif;.jpg;.mpg;.avi;.rm"_s;
    QTest::newRow("an upper-case extension passes")
        << u"/s/logo.GIF"_s << u"logo.GIF"_s << exts << QString() << QString() << true;
    QTest::newRow("jpeg is not jpg") << u"/s/logo.jpeg"_s << u"logo.jpeg"_s << exts << QString() << QString() << false;
    QTest::newRow("no extension list takes every file")
        << u"/s/x.zip"_s << u"x.zip"_s << QString() << QString() << QString() << true;
    QTest::newRow("an empty entry never matches an extension")
        << u"/s/x.zip"_s << u"x.zip"_s << u".gif;"_s << QString() << QString() << false;
    QTest::newRow("a name without a dot is its own extension")
        << u"/s/data"_s << u"data"_s << u".data"_s << QString() << QString() << true;
    QTest::newRow("a name ending in a dot has an empty extension")
        << u"/s/data."_s << u"data."_s << u".data"_s << QString() << QString() << false;
    QTest::newRow("the extension comes from the path, not the name")
        << u"/s/a/aｽﾗｯｼｭﾄｯﾌﾟ.html"_s << QString() << u".html"_s << QString() << QString() << true;
    QTest::newRow("a numbered path keeps its extension")
        << u"/s/p_0.gif"_s << u"p.gif"_s << exts << u"p.gif"_s << QString() << true;
    QTest::newRow("an include entry must occur")
        << u"/s/cat.gif"_s << u"cat.gif"_s << exts << u"dog;CAT"_s << QString() << true;
    QTest::newRow("no include entry occurs")
        << u"/s/cow.gif"_s << u"cow.gif"_s << exts << u"dog;cat"_s << QString() << false;
    QTest::newRow("an empty include entry accepts every name")
        << u"/s/cow.gif"_s << u"cow.gif"_s << exts << u"dog;"_s << QString() << true;
    QTest::newRow("an exclude entry rejects")
        << u"/s/thumb_a.gif"_s << u"thumb_a.gif"_s << exts << QString() << u"THUMB"_s << false;
    QTest::newRow("an empty exclude entry rejects every file")
        << u"/s/a.gif"_s << u"a.gif"_s << exts << QString() << u"x;"_s << false;
    QTest::newRow("a digit range in the include list takes names with a digit")
        << u"/s/a7.gif"_s << u"a7.gif"_s << exts << u"[0-9]"_s << QString() << true;
    QTest::newRow("a digit range in the include list refuses names without")
        << u"/s/ab.gif"_s << u"ab.gif"_s << exts << u"[0-9]"_s << QString() << false;
}

void TestFileFilters::filtersFiles()
{
    QFETCH(QString, path);
    QFETCH(QString, name);
    QFETCH(QString, extensions);
    QFETCH(QString, include);
    QFETCH(QString, exclude);
    QFETCH(bool, passes);
    QCOMPARE(PassesFileFilters(path, name, expanded(extensions), expanded(include), expanded(exclude)), passes);
}

void TestFileFilters::sizeRules_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<qint64>("maxSize");
    QTest::addColumn<qint64>("minSize");
    QTest::addColumn<bool>("atDetection");
    QTest::addColumn<bool>("atDownload");
    const qint64 mib = 1048576;
    QTest::newRow("exactly the maximum passes") << mib << mib << qint64(0) << true << true;
    QTest::newRow("one byte over the maximum fails") << mib + 1 << mib << qint64(0) << false << false;
    QTest::newRow("exactly the minimum passes") << qint64(1024) << qint64(0) << qint64(1024) << true << true;
    QTest::newRow("one byte under the minimum fails") << qint64(1023) << qint64(0) << qint64(1024) << false << false;
    QTest::newRow("no size passes a maximum") << qint64(-1) << mib << qint64(0) << true << true;
    QTest::newRow("no size is planned but not saved under a minimum")
        << qint64(-1) << qint64(0) << qint64(1024) << true << false;
    QTest::newRow("zero limits take everything") << qint64(5000000000) << qint64(0) << qint64(0) << true << true;
}

void TestFileFilters::sizeRules()
{
    QFETCH(qint64, size);
    QFETCH(qint64, maxSize);
    QFETCH(qint64, minSize);
    QFETCH(bool, atDetection);
    QFETCH(bool, atDownload);
    QCOMPARE(PassesSizeAtDetection(size, maxSize, minSize), atDetection);
    QCOMPARE(PassesSizeAtDownload(size, maxSize, minSize), atDownload);
}

void TestFileFilters::hugeRangeIsBounded()
{
    const QStringList list = expanded(u"[0-99999999999]"_s);
    QVERIFY(list.size() <= 100001);
    QCOMPARE(list.value(1), u"00000000000"_s);
}

void TestFileFilters::rangesStayWithinTheirLimits_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<bool>("tooLarge");
    QTest::addColumn<qsizetype>("expectedEntries");
    const QString eighteen = u"9"_s.repeated(18);
    QTest::newRow("a hundred numbers are fine") << u"[00-99]"_s << false << qsizetype(101);
    QTest::newRow("exactly the most numbers a range may give are fine")
        << u"[0-99999]"_s << false << qsizetype(1 + MaxRangeEntries);
    QTest::newRow("one number more is too large and cut short")
        << u"[0-100000]"_s << true << qsizetype(1 + MaxRangeEntries);
    QTest::newRow("bounds near the largest 64-bit number are no range")
        << u"x[9223372036854775800-9223372036854775807]"_s << true << qsizetype(1);
    QTest::newRow("a bound padded with 2000 zeros is no range")
        << u"[0-"_s + u"0"_s.repeated(2000) + u"99999]"_s << true << qsizetype(1);
    QTest::newRow("eighteen-digit bounds are a range")
        << u"["_s + eighteen + u"-"_s + eighteen + u"]"_s << false << qsizetype(2);
    QTest::newRow("two wide ranges together pass the size of a list") << u"[0-"_s + eighteen + u"];[1-"_s + eighteen
            + u"]"_s << true << qsizetype(2 + MaxRangeEntries + (MaxExpandedCharacters - 18 * MaxRangeEntries) / 18);
    QTest::newRow("letters are not too large") << u"[a-"_s + u"z"_s.repeated(40) + u"]"_s << false << qsizetype(1);
}

void TestFileFilters::rangesStayWithinTheirLimits()
{
    QFETCH(QString, setting);
    QFETCH(bool, tooLarge);
    QFETCH(qsizetype, expectedEntries);
    QCOMPARE(NamePatternsTooLarge(setting), tooLarge);
    const QStringList list = expanded(setting);
    QCOMPARE(list.size(), expectedEntries);
    qint64 generated = 0;
    for (qsizetype i = SplitFilterSetting(setting).size(); i < list.size(); ++i)
        generated += list[i].size();
    QVERIFY(generated <= MaxExpandedCharacters);
}

QTEST_GUILESS_MAIN(TestFileFilters)
#include "tst_filefilters.moc"
