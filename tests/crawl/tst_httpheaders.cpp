#include "crawl/httpheaders.h"

#include "platform/codepage.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestHttpHeaders : public QObject {
    Q_OBJECT
private slots:
    void headerValues_data();
    void headerValues();
    void statusCodes_data();
    void statusCodes();
    void protocols_data();
    void protocols();
    void basicCredentialIsOneLineOfUtf8();
    void entityTags();
    void charsets_data();
    void charsets();
    void pageTextIsDecodedByItsCharset_data();
    void pageTextIsDecodedByItsCharset();
    void contentRangeStart_data();
    void contentRangeStart();
};

void TestHttpHeaders::headerValues_data()
{
    QTest::addColumn<QString>("headers");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    const QString block
        = u"HTTP/1.1 200 OK\r\nContent-Length:   1234\r\nETag: \"AbC\"\r\nContent-Type: text/html\r\n\r\n"_s;
    QTest::newRow("leading blanks are skipped") << block << u"content-length:"_s << u"1234"_s;
    QTest::newRow("an absent name gives empty") << block << u"accept-ranges:"_s << QString();
    QTest::newRow("the entity tag keeps its quotes and case") << block << u"etag:"_s << u"\"AbC\""_s;
    QTest::newRow("a value without a line end is empty") << u"X-A: 1"_s << u"x-a:"_s << QString();
    QTest::newRow("an LF-only block ends at the LF") << u"x-a: 1\nx-b: 2\r\n"_s << u"x-a:"_s << u"1"_s;
}

void TestHttpHeaders::headerValues()
{
    QFETCH(QString, headers);
    QFETCH(QString, name);
    QFETCH(QString, value);
    QCOMPARE(HeaderValue(headers, name), value);
}

void TestHttpHeaders::statusCodes_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("code");
    QTest::newRow("ok") << u"HTTP/1.1 200 OK"_s << 200;
    QTest::newRow("not found") << u"HTTP/1.0 404 Not Found"_s << 404;
    QTest::newRow("no status line") << QString() << 0;
}

void TestHttpHeaders::statusCodes()
{
    QFETCH(QString, line);
    QFETCH(int, code);
    QCOMPARE(StatusCode(line), code);
    QCOMPARE(StatusLine(line + u"\r\nX: y\r\n"_s), line);
}

void TestHttpHeaders::protocols_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("protocol");
    QTest::newRow("http") << u"http://h/"_s << 4;
    QTest::newRow("https in capitals") << u"HTTPS://h/"_s << 5;
    QTest::newRow("ftp") << u"ftp://h/"_s << 2;
    QTest::newRow("anything else") << u"gopher://h/"_s << 1;
    QTest::newRow("no colon keeps the protocol") << u"h/a"_s << -1;
    QTest::newRow("a colon past position 19 keeps the protocol") << u"abcdefghijklmnopqrst://h/"_s << -1;
}

void TestHttpHeaders::protocols()
{
    QFETCH(QString, address);
    QFETCH(int, protocol);
    QCOMPARE(ProtocolOf(address), protocol);
}

void TestHttpHeaders::basicCredentialIsOneLineOfUtf8()
{
    QCOMPARE(MakeBasicCredential(u"user"_s, u"pass"_s), u"dXNlcjpwYXNz"_s);
    const QString longUser = u"u"_s.repeated(60);
    const QString credential = MakeBasicCredential(longUser, u"p"_s.repeated(40));
    QVERIFY(!credential.contains(u'\r'));
    QVERIFY(!credential.contains(u'\n'));
    QCOMPARE(QByteArray::fromBase64(credential.toLatin1()), (longUser + u':' + u"p"_s.repeated(40)).toUtf8());
    QCOMPARE(
        QByteArray::fromBase64(MakeBasicCredential(u"ユーザー"_s, u"パス"_s).toLatin1()), u"ユーザー:パス"_s.toUtf8());
    QCOMPARE(MakeBasicCredential(QString(), QString()), u"Og=="_s);
}

void TestHttpHeaders::entityTags()
{
    QVERIFY(IsStrongEntityTag(u"\"abc\""_s));
    QVERIFY(!IsStrongEntityTag(u"W/\"abc\""_s));
    QVERIFY(!IsStrongEntityTag(u"w/\"abc\""_s));
    QVERIFY(!IsStrongEntityTag(QString()));
}

void TestHttpHeaders::charsets_data()
{
    QTest::addColumn<QString>("contentType");
    QTest::addColumn<QString>("charset");
    QTest::newRow("a charset parameter") << u"text/html; charset=Shift_JIS"_s << u"shift_jis"_s;
    QTest::newRow("a quoted charset") << u"text/html;charset=\"UTF-8\"; x=y"_s << u"utf-8"_s;
    QTest::newRow("none") << u"text/html"_s << QString();
}

void TestHttpHeaders::charsets()
{
    QFETCH(QString, contentType);
    QFETCH(QString, charset);
    QCOMPARE(CharsetOf(contentType), charset);
}

void TestHttpHeaders::pageTextIsDecodedByItsCharset_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("charset");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    const QString page = u"<a href=\"写真.html\">写真</a>"_s;
    QTest::newRow("the header's Shift_JIS") << EncodeCodePage(page, nullptr) << u"shift_jis"_s << page << true;
    QTest::newRow("a meta charset") << QByteArray("<meta charset=\"shift_jis\">" + EncodeCodePage(page, nullptr))
                                    << QString() << QString(u"<meta charset=\"shift_jis\">"_s + page) << true;
    QTest::newRow("valid UTF-8 without a charset") << page.toUtf8() << QString() << page << true;
    QTest::newRow("not UTF-8 falls back to CP932") << EncodeCodePage(page, nullptr) << QString() << page << true;
    QTest::newRow("bytes valid in neither") << "\xff\xfe\x80"_ba << QString() << QString() << false;
    // 写真 in EUC-JP, named by the header and by a meta element; a sheet names its charset itself.
    const QByteArray euc = "<a href=\"\xbc\xcc\xbf\xbf.html\">\xbc\xcc\xbf\xbf</a>";
    QTest::newRow("the header's EUC-JP") << euc << u"euc-jp"_s << page << true;
    QTest::newRow("a meta EUC-JP") << QByteArray("<meta charset=EUC-JP>" + euc) << QString()
                                   << QString(u"<meta charset=EUC-JP>"_s + page) << true;
    QTest::newRow("a sheet's @charset") << QByteArray("@charset \"EUC-JP\";" + euc) << QString()
                                        << QString(u"@charset \"EUC-JP\";"_s + page) << true;
}

void TestHttpHeaders::pageTextIsDecodedByItsCharset()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, charset);
    QFETCH(QString, text);
    QFETCH(bool, valid);
    bool ok = !valid;
    const QString decoded = DecodePageText(bytes, charset, &ok);
    QCOMPARE(ok, valid);
    if (valid)
        QCOMPARE(decoded, text);
}

void TestHttpHeaders::contentRangeStart_data()
{
    QTest::addColumn<QString>("headers");
    QTest::addColumn<qint64>("start");
    QTest::newRow("a range") << u"HTTP/1.1 206 Partial\r\nContent-Range: bytes 100-199/1000\r\n"_s << qint64(100);
    QTest::newRow("no range") << u"HTTP/1.1 200 OK\r\n"_s << qint64(-1);
    QTest::newRow("an unsatisfied range") << u"Content-Range: bytes */1000\r\n"_s << qint64(-1);
}

void TestHttpHeaders::contentRangeStart()
{
    QFETCH(QString, headers);
    QFETCH(qint64, start);
    QCOMPARE(ContentRangeStart(headers), start);
}

QTEST_GUILESS_MAIN(TestHttpHeaders)
#include "tst_httpheaders.moc"
