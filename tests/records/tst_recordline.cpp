#include "platform/codepage.h"
#include "records/recordfile.h"
#include "records/recordline.h"

#include "support/tempsettings.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestRecordLine : public QObject {
    Q_OBJECT
private slots:
    void ordinaryFieldsAreWrittenAsTheyAre();
    void fieldsRoundTripThroughAFile_data();
    void fieldsRoundTripThroughAFile();
    void fileBytesAreCodePageWithCrLf();
    void readsLinesEndedByLfOnly();
    void codePageSubstitutesWhatItCannotCarry_data();
    void codePageSubstitutesWhatItCannotCarry();
    void undefinedBytesDecodeToReplacementCharacters();
};

void TestRecordLine::ordinaryFieldsAreWrittenAsTheyAre()
{
    QCOMPARE(JoinRecordLine({ u"http://h/a.gif"_s, QString(), u"a,b"_s, u"5"_s }),
        u"\"http://h/a.gif\",\"\",\"a,b\",\"5\""_s);
    QCOMPARE(SplitRecordLine(u"\"a\",\"\",\"c d\""_s), (QStringList { u"a"_s, QString(), u"c d"_s }));
    QCOMPARE(EscapeRecordField(u"a&b&#c"_s), u"a&b&#c"_s);
}

void TestRecordLine::fieldsRoundTripThroughAFile_data()
{
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("the separator sequence inside a field") << QStringList { u"a\",\"b"_s, u"x"_s };
    QTest::newRow("a field ending in quote and comma") << QStringList { u"a\","_s, u",\"b"_s };
    QTest::newRow("an etag with its quotes") << QStringList { u"\"abc-123\""_s, u"W/\"x\""_s };
    QTest::newRow("line breaks inside fields") << QStringList { u"a\r\nb"_s, u"\n"_s, u"\r"_s };
    QTest::newRow("a literal reference stays literal")
        << QStringList { u"&#x41;"_s, u"&#x26;#x22;"_s, u"&"_s, u"&#x"_s, u"&#xZZ;"_s };
    QTest::newRow("characters outside the code page") << QStringList { u"😀 emoji"_s, u"한국어"_s, u"¥100"_s, u"a&😀"_s };
    QTest::newRow("Japanese that the code page holds") << QStringList { u"写真ｽﾗｯｼｭﾄｯﾌﾟ.html"_s, u"～"_s };
    QTest::newRow("a save folder holding every awkward character")
        << QStringList { u"/home/u/保存\",\"先\t😀/"_s, u"http://h/a%20b/c.gif"_s };
    QTest::newRow("empty fields") << QStringList { QString(), QString() };
    QTest::newRow("a single comma as the only field") << QStringList { u","_s };
    QTest::newRow("a comma as the first of two fields") << QStringList { u","_s, u"b"_s };
    QTest::newRow("commas as first and last fields") << QStringList { u","_s, u","_s, u",,"_s };
    QTest::newRow("zero-width no-break spaces, which look like byte-order marks")
        << QStringList { QChar(0xFEFF) + u"a"_s, u"b"_s + QChar(0xFEFF) };
    QTest::newRow("lone surrogates, which the code page cannot carry")
        << QStringList { QString(QChar(0xD800)), u"a"_s + QChar(0xDC00) + u"b"_s, u"😀"_s.left(1) + u"写"_s };
}

void TestRecordLine::fieldsRoundTripThroughAFile()
{
    QFETCH(QStringList, fields);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"r.csv"_s);
    QVERIFY(AppendRecordLines(path, { JoinRecordLine(fields) }));
    QVERIFY(AppendRecordLines(path, { JoinRecordLine(fields) }));
    const std::optional<QStringList> lines = ReadRecordLines(path);
    QVERIFY(lines);
    QCOMPARE(lines->size(), 2);
    QCOMPARE(SplitRecordLine(lines->at(0)), fields);
    QCOMPARE(SplitRecordLine(lines->at(1)), fields);
}

void TestRecordLine::fileBytesAreCodePageWithCrLf()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"r.csv"_s);
    QVERIFY(AppendRecordLines(path, { u"アドレス,Webサーバレスポンス"_s, JoinRecordLine({ u"写"_s }) }));
    QCOMPARE(ReadFileBytes(path),
        "\x83\x41\x83\x68\x83\x8c\x83\x58,Web\x83\x54\x81\x5b\x83\x6f\x83\x8c\x83\x58"
        "\x83\x7c\x83\x93\x83\x58\r\n\"\x8e\xca\"\r\n"_ba);
}

void TestRecordLine::readsLinesEndedByLfOnly()
{
    QCOMPARE(DecodeRecordLines("a\nb\r\nc"_ba), (QStringList { u"a"_s, u"b"_s, u"c"_s }));
    QCOMPARE(DecodeRecordLines("a\r\n\r\n"_ba), (QStringList { u"a"_s, QString() }));
    QCOMPARE(DecodeRecordLines(QByteArray()), QStringList());
}

void TestRecordLine::codePageSubstitutesWhatItCannotCarry_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("ASCII is unchanged") << u"abc~\\"_s << "abc~\\"_ba;
    QTest::newRow("half-width katakana") << u"ｽﾗ"_s << "\xbd\xd7"_ba;
    QTest::newRow("an emoji becomes a reference") << u"a😀b"_s << "a&#x1F600;b"_ba;
    QTest::newRow("the yen sign would come back as a backslash") << u"¥"_s << "&#xA5;"_ba;
    QTest::newRow("hangul becomes references") << u"한"_s << "&#xD55C;"_ba;
    QTest::newRow("a zero-width no-break space becomes a reference, not nothing")
        << QString(QChar(0xFEFF)) + u"x"_s << "&#xFEFF;x"_ba;
    QTest::newRow("a lone surrogate becomes a reference, not a question mark")
        << u"a"_s + QChar(0xD83D) + u"b"_s << "a&#xD83D;b"_ba;
    QTest::newRow("a lone low surrogate among Japanese text") << u"写"_s + QChar(0xDE00) << "\x8e\xca&#xDE00;"_ba;
}

void TestRecordLine::codePageSubstitutesWhatItCannotCarry()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, expected);
    QCOMPARE(EncodeCodePage(text, RecordCharacterReference), expected);
}

void TestRecordLine::undefinedBytesDecodeToReplacementCharacters()
{
    const QString decoded = DecodeCodePage("a\x8e\xca\xff"_ba);
    QCOMPARE(decoded.left(2), u"a写"_s);
    QVERIFY(decoded.endsWith(QChar(QChar::ReplacementCharacter)));
}

QTEST_GUILESS_MAIN(TestRecordLine)
#include "tst_recordline.moc"
