#include "support/nginxfixture.h"
#include "support/scriptedhttpserver.h"
#include "support/testca.h"
#include "transfer/curltransfercontrol.h"
#include "transfer/presetproxy.h"
#include "transfer/requestpacer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <curl/curl.h>
#include <list>
#include <memory>
#include <optional>
#ifdef Q_OS_WIN
#include <windows.h>
#endif

using namespace Qt::StringLiterals;
using Reply = ScriptedHttpServer::Reply;

namespace {

constexpr int kReceiving = TransferControl::ResponseReceiving;
constexpr int kError = TransferControl::Error;
constexpr int kCompleted = TransferControl::ResponseCompleted;
constexpr qsizetype kBigSize = 8 * 1024 * 1024;

struct Outcome {
    QList<int> states;
    QByteArray body;
    QByteArray headers;
    int errorCode = -1;
    QString errorText;
    bool busyAtEnd = true; // busy() while the final state was being raised
    bool raisedOutsidePump = false;
    qsizetype largestPiece = 0;
    qint64 elapsedMs = 0;
};

// The crawl's wait loop: pump until idle, reading the body at every state.
Outcome fetch(CurlTransferControl& control, const QString& url, const QString& verb = u"GET"_s,
    const QString& headerLines = {}, const QByteArray& body = {})
{
    Outcome outcome;
    bool pumping = false;
    control.setStateHandler([&](int state) {
        outcome.states.append(state);
        outcome.raisedOutsidePump = outcome.raisedOutsidePump || !pumping;
        const QByteArrayView piece = control.nextBodyPiece();
        outcome.largestPiece = std::max(outcome.largestPiece, piece.size());
        outcome.body += piece;
        if (state == kError || state == kCompleted)
            outcome.busyAtEnd = control.busy();
    });
    QElapsedTimer timer;
    timer.start();
    control.execute(url, verb, body, headerLines);
    while (control.busy() && timer.elapsed() < 15000) {
        pumping = true;
        control.pump(50);
        pumping = false;
    }
    outcome.elapsedMs = timer.elapsed();
    outcome.body += control.nextBodyPiece();
    outcome.headers = control.responseHeaders();
    outcome.errorCode = control.lastErrorCode();
    outcome.errorText = control.lastErrorText();
    control.setStateHandler({});
    return outcome;
}

QByteArray headOf(const QByteArray& response)
{
    return response.left(response.indexOf("\r\n\r\n") + 4);
}

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    generator.fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

// Sets or removes an environment variable for one test and restores it afterwards.
class EnvironmentVariable {
public:
    EnvironmentVariable(const char* name, const std::optional<QByteArray>& value)
        : m_name(name)
        , m_had(qEnvironmentVariableIsSet(name))
        , m_old(qgetenv(name))
    {
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
    ~EnvironmentVariable()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

#ifdef Q_OS_WIN
// The user's proxy in Windows' Internet settings, as WinHTTP reads it, for one test; the old value comes back.
class InternetSettings {
public:
    InternetSettings(const QString& servers, const QString& bypass)
    {
        DWORD size = DWORD(m_old.size());
        const LSTATUS read
            = RegGetValueW(HKEY_CURRENT_USER, Key, Value, RRF_RT_REG_BINARY, nullptr, m_old.data(), &size);
        m_old.resize(read == ERROR_SUCCESS ? size : 0);
        write(dword(0x46) + dword(0) + dword(servers.isNull() ? 1 : 3) + dword(servers.size()) + servers.toLatin1()
            + dword(bypass.size()) + bypass.toLatin1() + QByteArray(36, '\0'));
    }
    ~InternetSettings() { m_old.isEmpty() ? void(RegDeleteKeyValueW(HKEY_CURRENT_USER, Key, Value)) : write(m_old); }

private:
    static constexpr const wchar_t* Key
        = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
    static constexpr const wchar_t* Value = L"DefaultConnectionSettings";
    static QByteArray dword(qsizetype value) { return QByteArray(reinterpret_cast<const char*>(&value), 4); }
    static void write(const QByteArray& bytes)
    {
        RegSetKeyValueW(HKEY_CURRENT_USER, Key, Value, REG_BINARY, bytes.constData(), DWORD(bytes.size()));
    }
    QByteArray m_old = QByteArray(4096, '\0');
};
#endif

quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

class TestCurlTransferControl : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void sendsHeaderLinesAsGiven_data();
    void sendsHeaderLinesAsGiven();
    void headAndGet_data();
    void headAndGet();
    void headThenGetOnOneControl();
    void postSendsBody();
    void propertiesAreKept();
    void responses_data();
    void responses();
    void binaryBodies_data();
    void binaryBodies();
    void encodedBodyIsNotDecoded();
    void keepsConnectionAlive();
    void opensNewConnectionWhenServerClosed();
    void followsRedirect();
    void redirectToOtherHostAdjustsHeaders_data();
    void redirectToOtherHostAdjustsHeaders();
    void tooManyRedirectsCompleteAsRedirectResponse_data();
    void tooManyRedirectsCompleteAsRedirectResponse();
    void connectionRefusedIsError();
    void redirectHopsAndResendsKeepThePacersInterval();
    void unsupportedSchemeIsErrorFromPump();
    void closedMidBody_data();
    void closedMidBody();
    void silentServerTimesOut();
    void slowButSteadyServerCompletes();
    void cancelInMidTransfer();
    void handlerMayStartNextRequest();
    void accessTypeChoosesProxy_data();
    void accessTypeChoosesProxy();
    void namedProxyGetsAbsoluteRequest();
    void lateAnswerArrivesWhole();

    void nginxResponses_data();
    void nginxResponses();
    void nginxKeepAlive();
    void httpsToPlainServerIsError();
    void bigBodyStreamsFlat();
    void undrainedBodyPausesTransfer();

private:
    bool nginxRuns();

    QTemporaryDir m_root;
    std::unique_ptr<NginxFixture> m_nginx;
    QByteArray m_big;
    std::unique_ptr<ScriptedHttpServer> m_server;
    std::unique_ptr<CurlTransferControl> m_control;
};

void TestCurlTransferControl::initTestCase()
{
    QVERIFY(m_root.isValid());
    const QDir root(m_root.path());
    QVERIFY(root.mkpath(u"private"_s) && root.mkpath(u"forbidden"_s));
    m_big = randomBytes(kBigSize, 7);
    const QList<std::pair<QString, QByteArray>> files { { u"hello.txt"_s, "hello world\n"_ba },
        { u"private/secret.txt"_s, "secret\n"_ba }, { u"forbidden/x.txt"_s, "x\n"_ba }, { u"big.bin"_s, m_big } };
    for (const auto& [name, bytes] : files) {
        QFile file(root.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    if (NginxFixture::executable().isEmpty())
        return;
    m_nginx = std::make_unique<NginxFixture>(m_root.path());
    m_nginx->requireBasicAuth(u"/private/"_s, u"user"_s, u"secret"_s);
    m_nginx->forbid(u"/forbidden/"_s);
    QVERIFY2(m_nginx->start(), qPrintable(m_nginx->errorString()));
}

void TestCurlTransferControl::init()
{
    m_server = std::make_unique<ScriptedHttpServer>();
    QVERIFY(m_server->start());
    m_control = std::make_unique<CurlTransferControl>();
}

void TestCurlTransferControl::cleanup()
{
    m_control.reset();
    m_server.reset();
}

// QSKIP would return from here alone: the caller returns on false.
bool TestCurlTransferControl::nginxRuns()
{
    if (!m_nginx)
        QTest::qSkip(NginxFixture::missingMessage(), __FILE__, __LINE__);
    return m_nginx != nullptr;
}

void TestCurlTransferControl::sendsHeaderLinesAsGiven_data()
{
    QTest::addColumn<QString>("lines");
    QTest::addColumn<QByteArray>("expectedHeaders"); // after the request line; %HOST% is the server

    const QString all = u"Host: %HOST%\r\nUser-Agent: \"Fetchwright 1.0\"\r\nAccept: text/html, */*\r\n"
                        u"Referer: http://127.0.0.1/from.html\r\nRange: bytes=100-\r\nIf-Match: \"abc\"\r\n"
                        u"Authorization: Basic dXNlcjpzZWNyZXQ=\r\n"_s;
    QTest::newRow("all, in this order") << all << all.toLatin1();
    QTest::newRow("no accept line") << u"Host: %HOST%\r\nUser-Agent: x\r\n"_s << "Host: %HOST%\r\nUser-Agent: x\r\n"_ba;
    QTest::newRow("host after others") << u"User-Agent: x\r\nHost: %HOST%\r\n"_s
                                       << "User-Agent: x\r\nHost: %HOST%\r\n"_ba;
    QTest::newRow("no host line") << u"User-Agent: x\r\nReferer: http://r/\r\n"_s
                                  << "Host: %HOST%\r\nUser-Agent: x\r\nReferer: http://r/\r\n"_ba;
    QTest::newRow("empty value") << u"Host: %HOST%\r\nX-Empty:\r\n"_s << "Host: %HOST%\r\nX-Empty:\r\n"_ba;
    QTest::newRow("no lines") << QString() << "Host: %HOST%\r\n"_ba;
}

void TestCurlTransferControl::sendsHeaderLinesAsGiven()
{
    QFETCH(QString, lines);
    QFETCH(QByteArray, expectedHeaders);
    const QByteArray host = "127.0.0.1:" + QByteArray::number(m_server->port());
    m_server->enqueue({ ScriptedHttpServer::response(200, "OK", {}, "ok") });

    const Outcome outcome = fetch(
        *m_control, m_server->url(u"/page?q=1"_s), u"GET"_s, lines.replace(u"%HOST%"_s, QString::fromLatin1(host)));

    QCOMPARE(outcome.states, (QList<int> { kReceiving, kCompleted }));
    QCOMPARE(m_server->requests().size(), 1);
    QCOMPARE(m_server->requests().at(0).head,
        "GET /page?q=1 HTTP/1.1\r\n" + expectedHeaders.replace("%HOST%", host) + "\r\n");
}

void TestCurlTransferControl::headAndGet_data()
{
    QTest::addColumn<QString>("verb");
    QTest::addColumn<QByteArray>("expectedBody");
    QTest::newRow("GET") << u"GET"_s << "hello"_ba;
    QTest::newRow("HEAD") << u"HEAD"_s << QByteArray();
}

void TestCurlTransferControl::headAndGet()
{
    QFETCH(QString, verb);
    QFETCH(QByteArray, expectedBody);
    const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 5\r\n\r\n";
    m_server->enqueue({ head + expectedBody });

    const Outcome outcome = fetch(*m_control, m_server->url(u"/r"_s), verb, u"User-Agent: x\r\n"_s);

    QCOMPARE(outcome.states, (QList<int> { kReceiving, kCompleted }));
    QCOMPARE(outcome.headers, head);
    QCOMPARE(outcome.body, expectedBody);
    QVERIFY(m_server->requests().at(0).head.startsWith(verb.toLatin1() + " /r HTTP/1.1\r\n"));
}

void TestCurlTransferControl::headThenGetOnOneControl()
{
    const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\n";
    m_server->enqueue({ head });
    m_server->enqueue({ head + "body" });
    QCOMPARE(fetch(*m_control, m_server->url(u"/h"_s), u"HEAD"_s).states.last(), kCompleted);
    const Outcome get = fetch(*m_control, m_server->url(u"/h"_s));
    QCOMPARE(get.body, "body"_ba);
    QVERIFY(m_server->requests().at(1).head.startsWith("GET /h HTTP/1.1\r\n"));
}

void TestCurlTransferControl::propertiesAreKept()
{
    m_control->setProtocol(TransferControl::ProtocolHttps);
    m_control->setAccessType(TransferControl::AccessDirect);
    m_control->setRequestTimeout(30);
    m_control->setRemotePort(8080);
    m_control->setUrl(u"http://a/"_s);
    QCOMPARE(m_control->protocol(), int(TransferControl::ProtocolHttps));
    QCOMPARE(m_control->accessType(), int(TransferControl::AccessDirect));
    QCOMPARE(m_control->requestTimeout(), 30);
    QCOMPARE(m_control->remotePort(), 8080);
    QCOMPARE(m_control->url(), u"http://a/"_s);
    m_control->setUrl({});
    QVERIFY(m_control->url().isEmpty());
    QVERIFY(m_control->responseHeaders().isEmpty());
    QVERIFY(!m_control->busy());
}

void TestCurlTransferControl::postSendsBody()
{
    m_server->enqueue({ ScriptedHttpServer::response(200, "OK", {}, "done") });
    const Outcome outcome = fetch(*m_control, m_server->url(u"/form"_s), u"POST"_s, {}, "a=1&b=2");
    QCOMPARE(outcome.states.last(), kCompleted);
    QVERIFY(m_server->requests().at(0).head.startsWith("POST /form HTTP/1.1\r\n"));
    QCOMPARE(m_server->requests().at(0).body, "a=1&b=2"_ba);
}

void TestCurlTransferControl::responses_data()
{
    QTest::addColumn<Reply>("reply");
    QTest::addColumn<QList<int>>("expectedStates");
    QTest::addColumn<QByteArray>("expectedHeaders");
    QTest::addColumn<QByteArray>("expectedBody");
    QTest::addColumn<int>("expectedError");

    const QList<int> completed { kReceiving, kCompleted };
    auto plain = [&](const char* name, int status, const QByteArray& reason, const ScriptedHttpServer::Headers& headers,
                     const QByteArray& body) {
        const QByteArray bytes = ScriptedHttpServer::response(status, reason, headers, body);
        QTest::newRow(name) << Reply { bytes } << completed << headOf(bytes) << body << 0;
    };
    plain("200", 200, "OK", { { "Content-Type", "text/html" }, { "ETag", "\"e1\"" } }, "<p>hi</p>");
    plain("206", 206, "Partial Content", { { "Content-Range", "bytes 2-4/10" } }, "cde");
    plain("302 without location", 302, "Found", {}, "gone");
    plain("401", 401, "Unauthorized", { { "WWW-Authenticate", "Basic realm=\"r\"" } }, "who?");
    plain("403", 403, "Forbidden", {}, "no");
    plain("404", 404, "Not Found", { { "Content-Type", "text/html" } }, "<p>missing</p>");
    QTest::newRow("bare line feeds") << Reply { "HTTP/1.1 200 OK\nContent-Length: 2\n\nok" } << completed
                                     << "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n"_ba
                                     << "ok"_ba << 0;
    QTest::newRow("100 continue first")
        << Reply { "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok" } << completed
        << "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n"_ba
        << "ok"_ba << 0;
    QTest::newRow("chunked with trailer")
        << Reply { "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\n0\r\nX-Trailer: t\r\n\r\n" }
        << completed << "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"_ba
        << "ok"_ba << 0;
    // libcurl refuses answers without a status line (HTTP/0.9) and reports an empty answer.
    QTest::newRow("no status line") << Reply { "just text\r\n\r\n", 0, -1, 0, 0, true } << QList<int> { kError }
                                    << QByteArray() << QByteArray() << int(CURLE_UNSUPPORTED_PROTOCOL);
    QTest::newRow("empty answer") << ScriptedHttpServer::nothingThenClose() << QList<int> { kError } << QByteArray()
                                  << QByteArray() << int(CURLE_GOT_NOTHING);
}

void TestCurlTransferControl::responses()
{
    QFETCH(Reply, reply);
    QFETCH(QList<int>, expectedStates);
    QFETCH(QByteArray, expectedHeaders);
    QFETCH(QByteArray, expectedBody);
    QFETCH(int, expectedError);
    m_server->enqueue(reply);

    const Outcome outcome = fetch(*m_control, m_server->url(u"/x"_s));

    QCOMPARE(outcome.states, expectedStates);
    QVERIFY(!outcome.busyAtEnd);
    QVERIFY(!outcome.raisedOutsidePump);
    QCOMPARE(outcome.headers, expectedHeaders);
    QCOMPARE(outcome.body, expectedBody);
    QCOMPARE(outcome.errorCode, expectedError);
    QCOMPARE(outcome.errorText.isEmpty(), expectedError == 0);
}

void TestCurlTransferControl::binaryBodies_data()
{
    QTest::addColumn<Reply>("reply");
    QTest::addColumn<QByteArray>("expectedBody");

    QByteArray everyByte;
    for (int round = 0; round < 64; ++round) {
        for (int value = 0; value < 256; ++value)
            everyByte += char(value);
    }
    const QByteArray zeros(5000, '\0');
    const QByteArray image = "GIF89a\x01\x00\x01\x00\x00\x00\x00\x3b\r\n\r\n\x00\xff"_ba + randomBytes(40000, 3);
    using S = ScriptedHttpServer;
    QTest::newRow("every byte, typed") << Reply { S::response(200, "OK", { { "Content-Type", "image/gif" } },
        everyByte) } << everyByte;
    QTest::newRow("every byte, untyped") << Reply { S::response(200, "OK", {}, everyByte) } << everyByte;
    QTest::newRow("zeros") << Reply { S::response(200, "OK", { { "Content-Type", "application/octet-stream" } },
        zeros) } << zeros;
    QTest::newRow("chunked") << Reply {
        S::response(200, "OK", { { "Transfer-Encoding", "chunked" } }, S::chunked(image, 1000))
    } << image;
    QTest::newRow("ended by close") << Reply { "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + image, 0, -1, 0, 0,
        true } << image;
    QTest::newRow("sent in pieces") << Reply { S::response(200, "OK", {}, image), 0, -1, 7000, 5 } << image;
}

void TestCurlTransferControl::binaryBodies()
{
    QFETCH(Reply, reply);
    QFETCH(QByteArray, expectedBody);
    m_server->enqueue(reply);

    const Outcome outcome = fetch(*m_control, m_server->url(u"/b.gif"_s));

    QCOMPARE(outcome.states.first(), kReceiving);
    QCOMPARE(outcome.states.last(), kCompleted);
    QCOMPARE(outcome.body.size(), expectedBody.size());
    QVERIFY(outcome.body == expectedBody);
}

void TestCurlTransferControl::encodedBodyIsNotDecoded()
{
    const QByteArray gzip = QByteArray::fromHex("1f8b08000000000002 03cb48cdc9c9d75148cecf2d284a2d2e4e4d5128cf2fca49e1"
                                                "ca20511c00a65b159b48000000");
    m_server->enqueue({ ScriptedHttpServer::response(
        200, "OK", { { "Content-Type", "text/plain" }, { "Content-Encoding", "gzip" } }, gzip) });
    const Outcome outcome = fetch(*m_control, m_server->url(u"/z.txt"_s), u"GET"_s, u"Accept-Encoding: gzip\r\n"_s);
    QCOMPARE(outcome.states.last(), kCompleted);
    QCOMPARE(outcome.body, gzip);
}

void TestCurlTransferControl::keepsConnectionAlive()
{
    m_server->enqueue({ ScriptedHttpServer::response(200, "OK", {}, "one") });
    m_server->enqueue({ ScriptedHttpServer::response(200, "OK", {}, "two") });
    QCOMPARE(fetch(*m_control, m_server->url(u"/1"_s)).body, "one"_ba);
    QCOMPARE(fetch(*m_control, m_server->url(u"/2"_s)).body, "two"_ba);
    QCOMPARE(m_server->connectionCount(), 1);
    QCOMPARE(m_server->requests().at(1).connection, 0);
}

void TestCurlTransferControl::opensNewConnectionWhenServerClosed()
{
    // The server drops the connection after answering without saying so; the next request still works.
    m_server->enqueue({ ScriptedHttpServer::response(200, "OK", {}, "one"), 0, -1, 0, 0, true });
    m_server->enqueue({ ScriptedHttpServer::response(200, "OK", {}, "two") });
    QCOMPARE(fetch(*m_control, m_server->url(u"/1"_s)).body, "one"_ba);
    QTest::qWait(100);
    const Outcome second = fetch(*m_control, m_server->url(u"/2"_s));
    QCOMPARE(second.states, (QList<int> { kReceiving, kCompleted }));
    QCOMPARE(second.body, "two"_ba);
    QCOMPARE(m_server->connectionCount(), 2);
}

void TestCurlTransferControl::followsRedirect()
{
    m_server->route(
        "/old", { ScriptedHttpServer::response(301, "Moved Permanently", { { "Location", "/new" } }, "moved") });
    const QByteArray fresh = ScriptedHttpServer::response(200, "OK", { { "Content-Type", "text/html" } }, "fresh");
    m_server->route("/new", { fresh });

    const Outcome outcome = fetch(*m_control, m_server->url(u"/old"_s));

    QCOMPARE(outcome.states, (QList<int> { kReceiving, kCompleted }));
    QCOMPARE(outcome.headers, headOf(fresh));
    QCOMPARE(outcome.body, "fresh"_ba);
    QCOMPARE(m_server->requests().size(), 2);
    QCOMPARE(m_server->requests().at(1).target(), "/new"_ba);
    QCOMPARE(m_server->connectionCount(), 1);
    QCOMPARE(m_control->url(), m_server->url(u"/old"_s));
}

void TestCurlTransferControl::redirectToOtherHostAdjustsHeaders_data()
{
    QTest::addColumn<bool>("fromHttps");
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("otherPort");
    QTest::addColumn<bool>("keepsCredentials"); // only within the origin: scheme, host and port
    QTest::newRow("other host") << false << u"localhost"_s << false << false;
    QTest::newRow("same host") << false << u"127.0.0.1"_s << false << true;
    QTest::newRow("same host, another port") << false << u"127.0.0.1"_s << true << false;
    QTest::newRow("from https to plain http") << true << u"127.0.0.1"_s << true << false;
}

void TestCurlTransferControl::redirectToOtherHostAdjustsHeaders()
{
    QFETCH(bool, fromHttps);
    QFETCH(QString, host);
    QFETCH(bool, otherPort);
    QFETCH(bool, keepsCredentials);
    ScriptedHttpServer other;
    QVERIFY(!otherPort || other.start());
    ScriptedHttpServer& target = otherPort ? other : *m_server;
    const QByteArray port = QByteArray::number(target.port());
    const QByteArray location = "http://" + host.toLatin1() + ':' + port + "/new";
    target.route("/new", { ScriptedHttpServer::response(200, "OK", {}, "fresh") });
    TestCa ca;
    std::unique_ptr<NginxFixture> secure;
    std::optional<EnvironmentVariable> trust;
    QString start = m_server->url(u"/old"_s);
    if (fromHttps) {
        if (!nginxRuns())
            return;
        if (TestCa::executable().isEmpty())
            QSKIP("openssl is not installed");
        QVERIFY2(ca.make(), qPrintable(ca.errorString()));
        secure = std::make_unique<NginxFixture>(m_root.path());
        secure->enableTls(ca.serverCertificate(), ca.serverKey());
        secure->addDirective(u"location = /old { return 302 "_s + QString::fromLatin1(location) + u"; }"_s);
        QVERIFY2(secure->start(), qPrintable(secure->errorString()));
        trust.emplace("CURL_CA_BUNDLE", ca.caCertificate().toLocal8Bit());
        start = secure->url(u"/old"_s);
    } else {
        m_server->route("/old", { ScriptedHttpServer::response(302, "Found", { { "Location", location } }, "moved") });
    }

    // An https Referer does not follow the redirect to plain http.
    const QString referer = fromHttps ? u"https://r/"_s : u"http://r/"_s;
    const QString lines = u"User-Agent: x\r\nHost: 127.0.0.1:%1\r\nAuthorization: Basic dTpw\r\nReferer: %2\r\n"_s
                              .arg(QUrl(start).port())
                              .arg(referer);
    const Outcome outcome = fetch(*m_control, start, u"GET"_s, lines);

    QCOMPARE(outcome.states, (QList<int> { kReceiving, kCompleted }));
    QCOMPARE(outcome.body, "fresh"_ba);
    QVERIFY(!target.requests().isEmpty());
    const QByteArray credentials = keepsCredentials ? "Authorization: Basic dTpw\r\n"_ba : QByteArray();
    QCOMPARE(target.requests().last().head,
        "GET /new HTTP/1.1\r\nUser-Agent: x\r\nHost: " + host.toLatin1() + ':' + port + "\r\n" + credentials
            + (fromHttps ? ""_ba : "Referer: http://r/\r\n"_ba) + "\r\n");
}

void TestCurlTransferControl::tooManyRedirectsCompleteAsRedirectResponse_data()
{
    QTest::addColumn<bool>("loop");
    QTest::newRow("loop") << true;
    QTest::newRow("chain of 12") << false;
}

void TestCurlTransferControl::tooManyRedirectsCompleteAsRedirectResponse()
{
    QFETCH(bool, loop);
    for (int hop = 0; hop < 12; ++hop) {
        const QByteArray path = "/r" + QByteArray::number(hop);
        const QByteArray next = loop ? path : "/r" + QByteArray::number(hop + 1);
        m_server->route(path, { ScriptedHttpServer::response(302, "Found", { { "Location", next } }, "again") });
    }
    m_server->route("/r12", { ScriptedHttpServer::response(200, "OK", {}, "end") });

    const Outcome outcome = fetch(*m_control, m_server->url(u"/r0"_s));

    QCOMPARE(outcome.states, (QList<int> { kReceiving, kCompleted }));
    QVERIFY(!outcome.busyAtEnd);
    QCOMPARE(outcome.errorCode, 0);
    QVERIFY2(outcome.headers.startsWith("HTTP/1.1 302 Found\r\n"), outcome.headers.constData());
    const QByteArray lastLocation = loop ? "/r0" : "/r11";
    QVERIFY(outcome.headers.contains("Location: " + lastLocation + "\r\n"));
    QCOMPARE(outcome.body, "again"_ba);
    QCOMPARE(m_server->requests().size(), 11); // the first request and 10 followed redirects
}

void TestCurlTransferControl::redirectHopsAndResendsKeepThePacersInterval()
{
    RequestPacer pacer;
    constexpr int interval = 200;
    pacer.setInterval(interval);
    m_control->setPacer(&pacer);
    m_server->route("/a", { ScriptedHttpServer::response(302, "Found", { { "Location", "/b" } }) });
    m_server->route("/b", { ScriptedHttpServer::response(200, "OK", {}, "b") });
    // Closed without an answer on the kept-alive connection: libcurl sends it again on a new one.
    m_server->route("/c", ScriptedHttpServer::nothingThenClose());
    fetch(*m_control, m_server->url(u"/a"_s));
    fetch(*m_control, m_server->url(u"/c"_s));
    const QList<ScriptedHttpServer::Request> requests = m_server->requests();
    QCOMPARE(requests.size(), 4);
    QCOMPARE(requests[3].target(), "/c"_ba);
    // The way to the server may differ by a few ms per request.
    constexpr int network = 20;
    for (qsizetype i = 1; i < requests.size(); ++i)
        QVERIFY2(requests[i].arrivedMs - requests[i - 1].arrivedMs >= interval - network,
            qPrintable(QString::number(requests[i].arrivedMs - requests[i - 1].arrivedMs)));
}

void TestCurlTransferControl::connectionRefusedIsError()
{
    const Outcome outcome = fetch(*m_control, u"http://127.0.0.1:%1/"_s.arg(closedPort()));
    QCOMPARE(outcome.states, QList<int> { kError });
    QVERIFY(!outcome.busyAtEnd);
    QCOMPARE(outcome.errorCode, int(CURLE_COULDNT_CONNECT));
    QVERIFY(!outcome.errorText.isEmpty());
    QVERIFY(outcome.headers.isEmpty());
}

void TestCurlTransferControl::unsupportedSchemeIsErrorFromPump()
{
    bool raised = false;
    m_control->setStateHandler([&](int) { raised = true; });
    m_control->execute(u"ftp://127.0.0.1/file"_s, u"GET"_s, {}, {});
    QVERIFY(!raised);
    QVERIFY(m_control->busy());
    const Outcome outcome = fetch(*m_control, u"ftp://127.0.0.1/file"_s);
    QCOMPARE(outcome.states, QList<int> { kError });
    QCOMPARE(outcome.errorCode, int(CURLE_UNSUPPORTED_PROTOCOL));
}

void TestCurlTransferControl::closedMidBody_data()
{
    QTest::addColumn<Reply>("reply");
    QTest::addColumn<int>("expectedLastState");
    QTest::addColumn<int>("expectedError");
    QTest::addColumn<QByteArray>("expectedBody");

    const QByteArray body = randomBytes(1000, 5);
    const QByteArray sized = ScriptedHttpServer::response(200, "OK", {}, body);
    QTest::newRow("short of its length") << Reply { sized, 0, headOf(sized).size() + 500 } << kError
                                         << int(CURLE_PARTIAL_FILE) << body.left(500);
    const QByteArray chunked = ScriptedHttpServer::response(
        200, "OK", { { "Transfer-Encoding", "chunked" } }, ScriptedHttpServer::chunked(body, 100));
    QTest::newRow("chunks cut off") << Reply { chunked, 0, headOf(chunked).size() + 3 * 106 } << kError
                                    << int(CURLE_PARTIAL_FILE) << body.left(300);
    QTest::newRow("no length, ended by close")
        << Reply { "HTTP/1.1 200 OK\r\n\r\n" + body, 0, -1, 0, 0, true } << kCompleted << 0 << body;
}

void TestCurlTransferControl::closedMidBody()
{
    QFETCH(Reply, reply);
    QFETCH(int, expectedLastState);
    QFETCH(int, expectedError);
    QFETCH(QByteArray, expectedBody);
    m_server->enqueue(reply);

    const Outcome outcome = fetch(*m_control, m_server->url(u"/cut"_s));

    QCOMPARE(outcome.states.first(), kReceiving);
    QCOMPARE(outcome.states.last(), expectedLastState);
    QCOMPARE(outcome.states.count(expectedLastState), 1);
    QVERIFY(!outcome.states.contains(TransferControl::Disconnected));
    QCOMPARE(outcome.errorCode, expectedError);
    QCOMPARE(outcome.body, expectedBody);
}

void TestCurlTransferControl::silentServerTimesOut()
{
    m_server->enqueue(ScriptedHttpServer::silence());
    m_control->setRequestTimeout(1);
    const Outcome outcome = fetch(*m_control, m_server->url(u"/quiet"_s));
    QCOMPARE(outcome.states, QList<int> { kError });
    QCOMPARE(outcome.errorCode, int(CURLE_OPERATION_TIMEDOUT));
    QVERIFY2(outcome.elapsedMs >= 900 && outcome.elapsedMs < 5000, qPrintable(QString::number(outcome.elapsedMs)));
}

void TestCurlTransferControl::slowButSteadyServerCompletes()
{
    // About 3 s in all, never more than 0.3 s without a byte, body bytes from the first piece on
    // (libcurl's speed check does not count header bytes and measures whole seconds: a 2 s limit
    // keeps this test free of its rounding).
    const QByteArray body = randomBytes(250, 9);
    m_server->enqueue({ "HTTP/1.1 200 OK\r\n\r\n" + body, 0, -1, 25, 300, true });
    m_control->setRequestTimeout(2);
    const Outcome outcome = fetch(*m_control, m_server->url(u"/slow"_s));
    QCOMPARE(outcome.states.last(), kCompleted);
    QCOMPARE(outcome.body, body);
    QVERIFY2(outcome.elapsedMs > 2500, qPrintable(QString::number(outcome.elapsedMs)));
}

void TestCurlTransferControl::cancelInMidTransfer()
{
    m_control->cancel(); // idle: harmless
    QVERIFY(!m_control->busy());

    const QByteArray bytes = ScriptedHttpServer::response(200, "OK", {}, randomBytes(400, 2));
    m_server->enqueue({ bytes, 0, -1, int(headOf(bytes).size()) + 100, 1000 });
    m_server->enqueue({ ScriptedHttpServer::response(200, "OK", {}, "after") });

    QList<int> states;
    bool busyAfterCancel = true;
    m_control->setStateHandler([&](int state) {
        states.append(state);
        if (!m_control->nextBodyPiece().isEmpty()) {
            m_control->cancel();
            busyAfterCancel = m_control->busy();
        }
    });
    m_control->execute(m_server->url(u"/long"_s), u"GET"_s, {}, {});
    QElapsedTimer timer;
    timer.start();
    while (m_control->busy() && timer.elapsed() < 5000)
        m_control->pump(50);
    QCOMPARE(states, QList<int> { kReceiving });
    QVERIFY(!busyAfterCancel);
    for (int round = 0; round < 5; ++round) {
        m_control->pump(50);
        QTest::qWait(50);
    }
    QCOMPARE(states, QList<int> { kReceiving });
    QVERIFY(m_control->nextBodyPiece().isEmpty());

    const Outcome next = fetch(*m_control, m_server->url(u"/next"_s));
    QCOMPARE(next.states, (QList<int> { kReceiving, kCompleted }));
    QCOMPARE(next.body, "after"_ba);
}

void TestCurlTransferControl::handlerMayStartNextRequest()
{
    using S = ScriptedHttpServer;
    m_server->route("/slow", { S::response(200, "OK", {}, QByteArray(300, 's')), 0, -1, 100, 300 });
    m_server->route("/a", { S::response(200, "OK", {}, "A") });
    m_server->route("/b", { S::response(200, "OK", {}, "B") });

    // At the first state of /slow the handler starts /a, and when /a completes it starts /b.
    QList<int> states;
    QByteArray body;
    m_control->setStateHandler([&](int state) {
        states.append(state);
        body += m_control->nextBodyPiece();
        if (m_control->url().endsWith(u"/slow"_s)) {
            m_control->execute(m_server->url(u"/a"_s), u"GET"_s, {}, {});
            body.clear();
        } else if (state == kCompleted && m_control->url().endsWith(u"/a"_s)) {
            body += '|';
            m_control->execute(m_server->url(u"/b"_s), u"GET"_s, {}, {});
        }
    });
    m_control->execute(m_server->url(u"/slow"_s), u"GET"_s, {}, {});
    QElapsedTimer timer;
    timer.start();
    while (m_control->busy() && timer.elapsed() < 5000)
        m_control->pump(50);

    QCOMPARE(states, (QList<int> { kReceiving, kReceiving, kCompleted, kReceiving, kCompleted }));
    QCOMPARE(body, "A|B"_ba);
    QVERIFY(!m_control->busy());
}

void TestCurlTransferControl::accessTypeChoosesProxy_data()
{
    QTest::addColumn<int>("accessType");
    QTest::addColumn<bool>("environmentProxy"); // http_proxy names the proxy
    QTest::addColumn<QString>("servers"); // the system's proxy servers, "%1" the proxy's port; null: none
    QTest::addColumn<QString>("bypass");
    QTest::addColumn<QString>("address"); // "%1" the site's port
    QTest::addColumn<bool>("proxied");
    const int preset = TransferControl::AccessPreconfigured;
    const QString proxy = u"127.0.0.1:%1"_s;
    const QString site = u"http://127.0.0.1:%1/p"_s;
    const QString named = u"http://www.fetchwright.invalid/p"_s;
    QTest::newRow("direct access ignores the environment's proxy")
        << int(TransferControl::AccessDirect) << true << QString() << QString() << site << false;
    QTest::newRow("the environment's proxy serves the preconfigured access, over the system's")
        << preset << true << u"127.0.0.1:1"_s << QString() << site << true;
    QTest::newRow("the system's http entry serves http")
        << preset << false << u"https=127.0.0.1:1;http=127.0.0.1:%1"_s << QString() << site << true;
    QTest::newRow("a scheme without an entry goes direct")
        << preset << false << u"https=127.0.0.1:%1"_s << QString() << site << false;
    QTest::newRow("a name without a dot goes direct for <local>")
        << preset << false << proxy << u"<local>"_s << u"http://localhost:%1/p"_s << false;
    QTest::newRow("a dotted name outside the bypassed domains goes to the proxy")
        << preset << false << proxy << u"<local> *.example.invalid"_s << named << true;
    QTest::newRow("an address range goes direct")
        << preset << false << proxy << u"*.example.com 127.*"_s << site << false;
    QTest::newRow("the names under a domain go direct")
        << preset << false << proxy << u"<local>;*.fetchwright.invalid"_s << named << false;
}

void TestCurlTransferControl::accessTypeChoosesProxy()
{
    QFETCH(int, accessType);
    QFETCH(bool, environmentProxy);
    QFETCH(QString, servers);
    QFETCH(QString, bypass);
    QFETCH(QString, address);
    QFETCH(bool, proxied);
    ScriptedHttpServer proxyServer;
    QVERIFY(proxyServer.start());
    proxyServer.enqueue({ ScriptedHttpServer::response(200, "OK", {}, "proxied") });
    m_server->enqueue({ ScriptedHttpServer::response(200, "OK", {}, "direct") });
    std::list<EnvironmentVariable> environment;
    for (const char* name : { "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY" })
        environment.emplace_back(name, std::nullopt);
    environment.emplace_back("http_proxy",
        environmentProxy ? std::optional("http://127.0.0.1:" + QByteArray::number(proxyServer.port())) : std::nullopt);
    servers.replace(u"%1"_s, QString::number(proxyServer.port()));
#ifdef Q_OS_WIN
    const InternetSettings system(servers, bypass);
    m_control->setPresetProxy(ReadPresetProxy());
#else
    m_control->setPresetProxy(servers.isNull() ? nullptr : PresetProxyOf(SystemProxy { servers, bypass, {} }));
#endif
    m_control->setAccessType(accessType);
    fetch(*m_control, address.replace(u"%1"_s, QString::number(m_server->port())));
    QCOMPARE(proxyServer.requests().size(), proxied ? 1 : 0);
    QVERIFY(!proxied || proxyServer.requests().at(0).head.startsWith("GET http://"));
}

void TestCurlTransferControl::namedProxyGetsAbsoluteRequest()
{
    // no_proxy must not keep the named proxy out.
    const EnvironmentVariable noProxy("no_proxy", "fetchwright.invalid");
    m_server->enqueue({ ScriptedHttpServer::response(200, "OK", {}, "proxied") });
    m_control->setAccessType(TransferControl::AccessNamedProxy);
    m_control->setProxy(u"127.0.0.1:%1"_s.arg(m_server->port()));
    QCOMPARE(m_control->proxy(), u"127.0.0.1:%1"_s.arg(m_server->port()));

    const Outcome outcome = fetch(*m_control, u"http://fetchwright.invalid/page?x=1"_s, u"GET"_s,
        u"Host: fetchwright.invalid\r\nUser-Agent: x\r\n"_s);

    QCOMPARE(outcome.states.last(), kCompleted);
    QCOMPARE(outcome.body, "proxied"_ba);
    QCOMPARE(m_server->requests().size(), 1);
    const QByteArray head = m_server->requests().at(0).head;
    QVERIFY2(head.startsWith("GET http://fetchwright.invalid/page?x=1 HTTP/1.1\r\n"), head.constData());
    // libcurl adds "Proxy-Connection: Keep-Alive" before the caller's lines.
    QVERIFY2(head.endsWith("\r\nHost: fetchwright.invalid\r\nUser-Agent: x\r\n\r\n"), head.constData());
}

// How much the wait costs is measured in bench/bench_pump.cpp.
void TestCurlTransferControl::lateAnswerArrivesWhole()
{
    m_server->enqueue({ ScriptedHttpServer::response(200, "OK", {}, "late"), 1000 });
    const Outcome outcome = fetch(*m_control, m_server->url(u"/late"_s));
    QCOMPARE(outcome.body, "late"_ba);
}

void TestCurlTransferControl::nginxResponses_data()
{
    QTest::addColumn<QString>("verb");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("lines");
    QTest::addColumn<QByteArray>("statusLine");
    QTest::addColumn<QByteArray>("expectedBody"); // compared when not empty

    QTest::newRow("200 with etag") << u"GET"_s << u"/hello.txt"_s << QString() << "HTTP/1.1 200 OK"_ba
                                   << "hello world\n"_ba;
    QTest::newRow("HEAD") << u"HEAD"_s << u"/hello.txt"_s << QString() << "HTTP/1.1 200 OK"_ba << QByteArray();
    QTest::newRow("206") << u"GET"_s << u"/hello.txt"_s << u"Range: bytes=6-\r\n"_s << "HTTP/1.1 206 Partial Content"_ba
                         << "world\n"_ba;
    QTest::newRow("401") << u"GET"_s << u"/private/secret.txt"_s << QString() << "HTTP/1.1 401 Unauthorized"_ba
                         << QByteArray();
    QTest::newRow("authorised") << u"GET"_s << u"/private/secret.txt"_s
                                << u"Authorization: Basic dXNlcjpzZWNyZXQ=\r\n"_s << "HTTP/1.1 200 OK"_ba
                                << "secret\n"_ba;
    QTest::newRow("403") << u"GET"_s << u"/forbidden/x.txt"_s << QString() << "HTTP/1.1 403 Forbidden"_ba
                         << QByteArray();
    QTest::newRow("404") << u"GET"_s << u"/missing.html"_s << QString() << "HTTP/1.1 404 Not Found"_ba << QByteArray();
}

void TestCurlTransferControl::nginxResponses()
{
    if (!nginxRuns())
        return;
    QFETCH(QString, verb);
    QFETCH(QString, path);
    QFETCH(QString, lines);
    QFETCH(QByteArray, statusLine);
    QFETCH(QByteArray, expectedBody);

    const Outcome outcome = fetch(*m_control, m_nginx->url(path), verb, lines);

    QCOMPARE(outcome.states.first(), kReceiving);
    QCOMPARE(outcome.states.last(), kCompleted);
    QVERIFY2(outcome.headers.startsWith(statusLine + "\r\n"), outcome.headers.constData());
    QVERIFY(outcome.headers.endsWith("\r\n\r\n"));
    if (!expectedBody.isEmpty())
        QCOMPARE(outcome.body, expectedBody);
    if (verb == u"HEAD"_s) {
        QVERIFY(outcome.body.isEmpty());
        QVERIFY(outcome.headers.contains("\r\nContent-Length: 12\r\n"));
    }
    if (statusLine.contains(" 200 "))
        QVERIFY(outcome.headers.contains("\r\nETag: \""));
}

void TestCurlTransferControl::nginxKeepAlive()
{
    if (!nginxRuns())
        return;
    const qsizetype logged = m_nginx->accessLog().size();
    QCOMPARE(fetch(*m_control, m_nginx->url(u"/hello.txt"_s)).states.last(), kCompleted);
    QCOMPARE(fetch(*m_control, m_nginx->url(u"/missing.html"_s)).states.last(), kCompleted);
    // nginx writes its log line once the answer is out, which may be just after the client has it.
    QTRY_COMPARE(m_nginx->accessLog().mid(logged).size(), 2);
    const QStringList log = m_nginx->accessLog().mid(logged);
    // "<connection> <requests on it> ..." : the second request came on the first one's connection.
    const QString connection = log.at(0).section(u' ', 0, 0);
    QCOMPARE(log.at(1).section(u' ', 0, 0), connection);
    QCOMPARE(log.at(1).section(u' ', 1, 1).toInt(), log.at(0).section(u' ', 1, 1).toInt() + 1);
}

void TestCurlTransferControl::httpsToPlainServerIsError()
{
    if (!nginxRuns())
        return;
    const Outcome outcome = fetch(*m_control, u"https://127.0.0.1:%1/hello.txt"_s.arg(m_nginx->port()));
    QCOMPARE(outcome.states, QList<int> { kError });
    QCOMPARE(outcome.errorCode, int(CURLE_SSL_CONNECT_ERROR));
}

void TestCurlTransferControl::bigBodyStreamsFlat()
{
    if (!nginxRuns())
        return;
    const Outcome outcome = fetch(*m_control, m_nginx->url(u"/big.bin"_s));
    QCOMPARE(outcome.states.last(), kCompleted);
    QCOMPARE(outcome.body.size(), kBigSize);
    QVERIFY(outcome.body == m_big);
    // The pause threshold, and at most one of libcurl's reads beyond it.
    QVERIFY2(outcome.largestPiece <= 4 * 1024 * 1024 + 256 * 1024, qPrintable(QString::number(outcome.largestPiece)));
    // Never the whole body at once: at least two pieces, each within the bound.
    QVERIFY(outcome.states.count(kReceiving) >= 2);
}

void TestCurlTransferControl::undrainedBodyPausesTransfer()
{
    if (!nginxRuns())
        return;
    // Not reading at all: the transfer stops at the buffer's limit instead of filling memory.
    int receiving = 0;
    m_control->setStateHandler([&](int state) { receiving += state == kReceiving; });
    m_control->execute(m_nginx->url(u"/big.bin"_s), u"GET"_s, {}, {});
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 1500)
        m_control->pump(20);
    QVERIFY(m_control->busy());
    const int raisedWhilePaused = receiving;
    m_control->pump(20);
    QVERIFY(receiving > raisedWhilePaused); // raised again while bytes wait
    QByteArray body = m_control->nextBodyPiece().toByteArray();
    QVERIFY2(body.size() >= 4 * 1024 * 1024 && body.size() <= 4 * 1024 * 1024 + 256 * 1024,
        qPrintable(QString::number(body.size())));

    // Reading resumes it, and nothing was lost.
    m_control->setStateHandler([&](int) { body += m_control->nextBodyPiece(); });
    timer.restart();
    while (m_control->busy() && timer.elapsed() < 10000)
        m_control->pump(50);
    QCOMPARE(body.size(), kBigSize);
    QVERIFY(body == m_big);

    // Abandoning a paused transfer leaves the control ready for the next request.
    m_control->setStateHandler({});
    m_control->execute(m_nginx->url(u"/big.bin"_s), u"GET"_s, {}, {});
    timer.restart();
    while (timer.elapsed() < 1000)
        m_control->pump(20);
    m_control->cancel();
    const Outcome next = fetch(*m_control, m_nginx->url(u"/hello.txt"_s));
    QCOMPARE(next.states, (QList<int> { kReceiving, kCompleted }));
    QCOMPARE(next.body, "hello world\n"_ba);
}

QTEST_GUILESS_MAIN(TestCurlTransferControl)
#include "tst_curltransfercontrol.moc"
