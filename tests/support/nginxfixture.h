#pragma once
// nginx as a plain child process for tests: one process (no daemon, no workers), on 127.0.0.1 and a
// free port, serving a folder the test fills. ETags are on, byte ranges work as for any static file.
// Its configuration, logs and temporary files live in a temporary folder of its own.
//   if (NginxFixture::executable().isEmpty()) QSKIP(NginxFixture::missingMessage());
//   NginxFixture nginx(root.path());
//   nginx.requireBasicAuth(u"/private/"_s, u"user"_s, u"secret"_s);
//   QVERIFY2(nginx.start(), qPrintable(nginx.errorString()));
// Running as root changes nothing: with master_process off nginx never switches users.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class NginxFixture {
public:
    explicit NginxFixture(const QString& root);
    ~NginxFixture();
    NginxFixture(const NginxFixture&) = delete;
    NginxFixture& operator=(const NginxFixture&) = delete;

    // /usr/sbin/nginx or the one on PATH; empty when nginx is not installed.
    static QString executable();
    static const char* missingMessage();

    // Before start(): requests under location need Basic authentication as user with password.
    void requireBasicAuth(const QString& location, const QString& user, const QString& password);
    // Before start(): requests under location are refused with 403.
    void forbid(const QString& location);
    // Before start(): a directive for the server block, such as "limit_rate 200k;".
    void addDirective(const QString& directive)
    {
        m_locations += QStringLiteral("        ") + directive + QLatin1Char('\n');
    }

    // Before start(): serve https with this certificate and key instead of http, offering HTTP/2 too
    // with http2.
    void enableTls(const QString& certificate, const QString& key, bool http2 = false)
    {
        m_listenOptions = http2 ? QStringLiteral(" ssl http2") : QStringLiteral(" ssl");
        m_locations
            += QStringLiteral("        ssl_certificate %1;\n        ssl_certificate_key %2;\n").arg(certificate, key);
    }

    // Starts nginx and waits until it accepts connections.
    bool start();
    QString errorString() const;
    quint16 port() const;
    // "http://127.0.0.1:<port>" (https once TLS is on) followed by path.
    QString url(const QString& path) const;
    // One line per request: "<connection number> <requests on it so far> <request line> <status>".
    QStringList accessLog() const;

private:
    bool startOnce();
    QString configuration() const;
    void stop();

    QString m_root;
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
    QString m_locations;
    QString m_listenOptions;
};
