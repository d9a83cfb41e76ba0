#pragma once
// A certificate authority made for one test with the openssl tool, and a server certificate it
// signed for 127.0.0.1, all in a temporary folder:
//   TestCa ca;
//   QVERIFY2(ca.make(), qPrintable(ca.errorString()));
//   nginx.enableTls(ca.serverCertificate(), ca.serverKey());
//   qputenv("CURL_CA_BUNDLE", ca.caCertificate().toLocal8Bit());

#include <QString>
#include <QTemporaryDir>

class TestCa {
public:
    static QString executable();
    bool make();
    QString errorString() const { return m_error; }
    QString caCertificate() const { return m_dir.filePath(QStringLiteral("ca.pem")); }
    QString serverCertificate() const { return m_dir.filePath(QStringLiteral("server.pem")); }
    QString serverKey() const { return m_dir.filePath(QStringLiteral("server.key")); }

private:
    bool run(const QStringList& args);

    QTemporaryDir m_dir;
    QString m_error;
};
