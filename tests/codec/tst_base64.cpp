#include "codec/base64.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestBase64 : public QObject {
    Q_OBJECT
private slots:
    void encodes_data();
    void encodes();
    void alphabetCoversAllSixtyFourValues();
    void yieldsEveryHundredInputBytes();
    void countTakesBytesFromTheFront();
};

void TestBase64::encodes_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty input gives the empty text, no line end") << QByteArray() << QString();
    QTest::newRow("one byte gives two characters and ==") << "M"_ba << u"TQ==\r\n"_s;
    QTest::newRow("two bytes give three characters and =") << "Ma"_ba << u"TWE=\r\n"_s;
    QTest::newRow("three bytes give four characters") << "Man"_ba << u"TWFu\r\n"_s;
    QTest::newRow("high bits of every byte are kept") << "\xff\xfe\xfd"_ba << u"//79\r\n"_s;
    QTest::newRow("user and password") << "user:pass"_ba << u"dXNlcjpwYXNz\r\n"_s;
    QTest::newRow("57 bytes fill exactly one line of 76")
        << QByteArray(57, 'a') << QString(u"YWFh"_s.repeated(19) + u"\r\n"_s);
    QTest::newRow("58 bytes give a full line and a line ending in ==")
        << QByteArray(58, 'a') << QString(u"YWFh"_s.repeated(19) + u"\r\nYQ==\r\n"_s);
    QTest::newRow("114 bytes give two full lines")
        << QByteArray(114, 'a') << QString(u"YWFh"_s.repeated(19) + u"\r\n"_s + u"YWFh"_s.repeated(19) + u"\r\n"_s);
}

void TestBase64::encodes()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, expected);
    QCOMPARE(Base64Encode(input, input.size()), expected);
    // Agrees with an independent encoder once the line ends are taken out.
    QCOMPARE(Base64Encode(input, input.size()).remove(u"\r\n"_s).toLatin1(), input.toBase64());
}

void TestBase64::alphabetCoversAllSixtyFourValues()
{
    const QString alphabet = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"_s;
    for (int value = 0; value < 64; ++value)
        QCOMPARE(Base64Char(static_cast<unsigned char>(value)), alphabet[value]);
}

void TestBase64::yieldsEveryHundredInputBytes()
{
    int yields = 0;
    Base64Encode(QByteArray(1000, 'x'), 1000, [&] { ++yields; });
    QVERIFY2(yields >= 3, "a long input must let the window run while it is encoded");
    yields = 0;
    Base64Encode(QByteArray(2, 'x'), 2, [&] { ++yields; });
    QCOMPARE(yields, 1);
}

void TestBase64::countTakesBytesFromTheFront()
{
    QCOMPARE(Base64Encode("Manual"_ba, 3), u"TWFu\r\n"_s);
    QCOMPARE(Base64Encode("Ma"_ba, 10), u"TWE=\r\n"_s);
}

QTEST_GUILESS_MAIN(TestBase64)
#include "tst_base64.moc"
