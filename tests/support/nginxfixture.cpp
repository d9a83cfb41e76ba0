#include "support/nginxfixture.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

using namespace Qt::StringLiterals;

NginxFixture::NginxFixture(const QString& root)
    : m_root(QFileInfo(root).absoluteFilePath())
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

NginxFixture::~NginxFixture()
{
    stop();
}

QString NginxFixture::executable()
{
    if (QFileInfo(u"/usr/sbin/nginx"_s).isExecutable())
        return u"/usr/sbin/nginx"_s;
    return QStandardPaths::findExecutable(u"nginx"_s);
}

const char* NginxFixture::missingMessage()
{
    return "nginx is not installed (scripts/install-deps --test installs it)";
}

void NginxFixture::requireBasicAuth(const QString& location, const QString& user, const QString& password)
{
    const QString file = m_dir.filePath(u"passwords%1"_s.arg(m_locations.count(u'\n')));
    QFile out(file);
    if (out.open(QIODevice::WriteOnly))
        out.write((user + u":{PLAIN}"_s + password + u'\n').toUtf8());
    m_locations
        += u"        location %1 { auth_basic \"Fetchwright test\"; auth_basic_user_file %2; }\n"_s.arg(location, file);
}

void NginxFixture::forbid(const QString& location)
{
    m_locations += u"        location %1 { deny all; }\n"_s.arg(location);
}

bool NginxFixture::start()
{
    if (!m_dir.isValid()) {
        m_error = u"cannot create a temporary folder"_s;
        return false;
    }
    if (executable().isEmpty()) {
        m_error = QString::fromLatin1(missingMessage());
        return false;
    }
    // The free port is found by listening on it briefly; another program may take it in between.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (startOnce())
            return true;
    }
    return false;
}

bool NginxFixture::startOnce()
{
    {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0)) {
            m_error = u"no free port"_s;
            return false;
        }
        m_port = probe.serverPort();
    }
    const QString conf = m_dir.filePath(u"nginx.conf"_s);
    QFile out(conf);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_error = u"cannot write "_s + conf;
        return false;
    }
    out.write(configuration().toUtf8());
    out.close();

    m_process.start(
        executable(), { u"-p"_s, m_dir.path() + u'/', u"-c"_s, conf, u"-e"_s, m_dir.filePath(u"error.log"_s) });
    if (!m_process.waitForStarted(5000)) {
        m_error = u"nginx did not start: "_s + m_process.errorString();
        return false;
    }
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (m_process.state() != QProcess::Running || m_process.waitForFinished(0))
            break;
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_port);
        if (socket.waitForConnected(200))
            return true;
        QThread::msleep(20);
    }
    QFile log(m_dir.filePath(u"error.log"_s));
    log.open(QIODevice::ReadOnly);
    m_error = u"nginx did not accept connections: "_s + QString::fromUtf8(m_process.readAll())
        + QString::fromUtf8(log.readAll());
    stop();
    return false;
}

QString NginxFixture::configuration() const
{
    const QString dir = m_dir.path();
    return uR"(daemon off;
master_process off;
pid %1/nginx.pid;
error_log %1/error.log warn;
events { worker_connections 64; }
http {
    client_body_temp_path %1/client_body;
    proxy_temp_path %1/proxy;
    fastcgi_temp_path %1/fastcgi;
    uwsgi_temp_path %1/uwsgi;
    scgi_temp_path %1/scgi;
    log_format fetchwright '$connection $connection_requests "$request" "$http_range" $status';
    access_log %1/access.log fetchwright;
    types { text/html html htm; text/plain txt; text/css css; image/gif gif; image/jpeg jpg; image/png png; video/mpeg mpg; application/octet-stream bin; }
    default_type application/octet-stream;
    etag on;
    keepalive_timeout 30s;
    server {
        listen 127.0.0.1:%2%5;
        root %3;
%4    }
}
)"_s.arg(dir, QString::number(m_port), m_root, m_locations, m_listenOptions);
}

void NginxFixture::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill(); // one process only, so nothing is left behind
    m_process.waitForFinished(5000);
}

QString NginxFixture::errorString() const
{
    return m_error;
}

quint16 NginxFixture::port() const
{
    return m_port;
}

QString NginxFixture::url(const QString& path) const
{
    return (m_listenOptions.isEmpty() ? u"http"_s : u"https"_s) + u"://127.0.0.1:%1"_s.arg(m_port) + path;
}

QStringList NginxFixture::accessLog() const
{
    QFile log(m_dir.filePath(u"access.log"_s));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(log.readAll()).split(u'\n', Qt::SkipEmptyParts);
}
