#include "settings/numberrules.h"

#include <QTest>

using namespace Qt::StringLiterals;
namespace R = NumberRules;

Q_DECLARE_METATYPE(const NumberRule*)

class TestNumberRules : public QObject {
    Q_OBJECT
private slots:
    void aTextReadsAsItsValueOrAMessage_data();
    void aTextReadsAsItsValueOrAMessage();
};

void TestNumberRules::aTextReadsAsItsValueOrAMessage_data()
{
    QTest::addColumn<const NumberRule*>("rule");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("refuseFractions");
    QTest::addColumn<QString>("stored"); // empty when refused
    QTest::addColumn<QString>("message");
    const QString connections = u"同時接続数は1から16の数値で入力して下さい。"_s;
    const auto row
        = [](const char* name, const NumberRule& rule, const QString& text, bool refuse, const QString& stored,
              const QString& message = {}) { QTest::newRow(name) << &rule << text << refuse << stored << message; };
    row("a plain number", R::Connections, u"8"_s, false, u"8"_s);
    row("blanks and line breaks around", R::Connections, u" \t8\r\n　"_s, true, u"8"_s);
    row("full-width digits", R::Connections, u"１６"_s, true, u"16"_s);
    row("a full-width fraction of a size", R::MaxSize, u"　１．５０"_s, true, u"1.5"_s);
    row("no connection", R::Connections, u"0"_s, false, {}, connections);
    row("seventeen connections", R::Connections, u"１７"_s, false, {}, connections);
    row("a negative timeout", R::RequestTimeout, u"－５"_s, false, {},
        u"接続タイムアウトは0から3600の数値で入力して下さい。"_s);
    row("port 99999", R::PortNo, u"99999"_s, false, {}, u"ポートは1から65535の数値で入力して下さい。"_s);
    row("a fraction of a count refused", R::DeepCount, u"2.5"_s, true, {}, u"制限階層数は数値で入力して下さい｡"_s);
    row("a fraction of a count rounded to even", R::DeepCount, u"2.5"_s, false, u"2"_s);
    row("not a number", R::PortNo, u"8o"_s, false, {}, u"ポートは数値で入力して下さい｡"_s);
    row("a page without entries", R::MakeGraphMinNLine, u"0"_s, false, {},
        u"ページ行数は1から200の数値で入力して下さい。"_s);
}

void TestNumberRules::aTextReadsAsItsValueOrAMessage()
{
    QFETCH(const NumberRule*, rule);
    QFETCH(QString, text);
    QFETCH(bool, refuseFractions);
    QFETCH(QString, stored);
    QFETCH(QString, message);
    const NumberReading reading = ReadNumber(*rule, text, refuseFractions ? Fraction::Refuse : Fraction::Round);
    QCOMPARE(reading.ok(), !stored.isEmpty());
    QCOMPARE(reading.text, stored);
    QCOMPARE(reading.message, message);
}

QTEST_GUILESS_MAIN(TestNumberRules)
#include "tst_numberrules.moc"
