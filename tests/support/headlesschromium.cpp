#include "support/headlesschromium.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QStandardPaths>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace Qt::StringLiterals;

namespace {

// Generous: a sanitizer build on a busy machine; only a browser that hangs ever reaches it.
constexpr int ReplyTimeoutMs = 60000;

// A copy of fd at 10 or above, closed on exec: descriptors 3 and 4 of the child are set from
// these, so neither can be one of them already.
int highDescriptor(int fd)
{
    const int copy = fcntl(fd, F_DUPFD_CLOEXEC, 10);
    close(fd);
    return copy;
}

} // namespace

HeadlessChromium::~HeadlessChromium()
{
    stop();
}

QString HeadlessChromium::executable()
{
    return QStandardPaths::findExecutable(u"chromium"_s);
}

bool HeadlessChromium::start(const QSize& window)
{
    const QString program = executable();
    if (program.isEmpty()) {
        m_error = u"chromium is not installed"_s;
        return false;
    }
    if (!m_profile.isValid()) {
        m_error = u"no temporary folder for the profile"_s;
        return false;
    }
    // A browser that dies mid-write must fail the call, not end the test process.
    std::signal(SIGPIPE, SIG_IGN);

    int toBrowser[2];
    int fromBrowser[2];
    if (pipe2(toBrowser, O_CLOEXEC) != 0 || pipe2(fromBrowser, O_CLOEXEC) != 0) {
        m_error = u"no pipe"_s;
        return false;
    }
    const int childReads = highDescriptor(toBrowser[0]);
    const int childWrites = highDescriptor(fromBrowser[1]);
    m_toBrowser = toBrowser[1];
    m_fromBrowser = fromBrowser[0];

    const QStringList arguments { program, u"--headless"_s, u"--no-sandbox"_s, u"--disable-gpu"_s, u"--disable-quic"_s,
        u"--no-first-run"_s, u"--disable-background-networking"_s, u"--disable-component-update"_s, u"--disable-sync"_s,
        u"--disable-dev-shm-usage"_s, u"--user-data-dir="_s + m_profile.filePath(u"profile"_s),
        u"--window-size=%1,%2"_s.arg(window.width()).arg(window.height()), u"--remote-debugging-pipe"_s,
        u"about:blank"_s };
    std::vector<QByteArray> bytes;
    for (const QString& argument : arguments)
        bytes.push_back(QFile::encodeName(argument));
    std::vector<char*> argv;
    for (QByteArray& argument : bytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const QByteArray log = QFile::encodeName(m_profile.filePath(u"browser.log"_s));

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_adddup2(&actions, childReads, 3);
    posix_spawn_file_actions_adddup2(&actions, childWrites, 4);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    const int spawned = posix_spawn(&m_pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(childReads);
    close(childWrites);
    if (spawned != 0) {
        m_pid = -1;
        m_error = u"cannot start chromium: "_s + QString::fromLocal8Bit(strerror(spawned));
        return false;
    }

    const QJsonObject target = call(u"Target.createTarget"_s, { { u"url"_s, u"about:blank"_s } }, false);
    const QString targetId = target.value(u"targetId"_s).toString();
    if (targetId.isEmpty())
        return false;
    const QJsonObject attached
        = call(u"Target.attachToTarget"_s, { { u"targetId"_s, targetId }, { u"flatten"_s, true } }, false);
    m_session = attached.value(u"sessionId"_s).toString();
    if (m_session.isEmpty())
        return false;
    call(u"Page.enable"_s);
    return m_error.isEmpty();
}

bool HeadlessChromium::open(const QUrl& url)
{
    const int before = m_loads;
    const QJsonObject navigated = call(u"Page.navigate"_s, { { u"url"_s, url.toString(QUrl::FullyEncoded) } });
    if (!m_error.isEmpty())
        return false;
    if (navigated.contains(u"errorText"_s)) {
        m_error = url.toString() + u": "_s + navigated.value(u"errorText"_s).toString();
        return false;
    }
    return waitForLoad(before);
}

bool HeadlessChromium::navigateBy(const QString& expression)
{
    const int before = m_loads;
    evaluate(expression);
    return m_error.isEmpty() && waitForLoad(before);
}

QJsonValue HeadlessChromium::evaluate(const QString& expression)
{
    const QJsonObject reply = call(u"Runtime.evaluate"_s,
        { { u"expression"_s, expression }, { u"returnByValue"_s, true }, { u"awaitPromise"_s, true } });
    if (reply.contains(u"exceptionDetails"_s)) {
        m_error = expression + u": "_s
            + QString::fromUtf8(QJsonDocument(reply.value(u"exceptionDetails"_s).toObject()).toJson());
        return QJsonValue(QJsonValue::Undefined);
    }
    return reply.value(u"result"_s).toObject().value(u"value"_s);
}

QByteArray HeadlessChromium::screenshot()
{
    const QJsonObject shot = call(u"Page.captureScreenshot"_s, { { u"format"_s, u"png"_s } });
    return QByteArray::fromBase64(shot.value(u"data"_s).toString().toLatin1());
}

void HeadlessChromium::stop()
{
    if (m_pid > 0) {
        if (m_toBrowser >= 0)
            send({ { u"id"_s, ++m_nextId }, { u"method"_s, u"Browser.close"_s } });
        // Browser.close ends every process of the browser; what is still there after a while
        // (a browser that hangs) is ended with its whole group.
        const QDeadlineTimer deadline(10000);
        int status = 0;
        pid_t ended = 0;
        while ((ended = waitpid(m_pid, &status, WNOHANG)) == 0 && !deadline.hasExpired())
            pump(50);
        kill(-m_pid, SIGKILL);
        if (ended == 0)
            waitpid(m_pid, &status, 0);
        m_pid = -1;
    }
    if (m_toBrowser >= 0)
        close(m_toBrowser);
    if (m_fromBrowser >= 0)
        close(m_fromBrowser);
    m_toBrowser = m_fromBrowser = -1;
}

QJsonObject HeadlessChromium::call(const QString& method, const QJsonObject& params, bool inPage)
{
    if (!m_error.isEmpty())
        return {};
    const int id = ++m_nextId;
    QJsonObject message { { u"id"_s, id }, { u"method"_s, method }, { u"params"_s, params } };
    if (inPage)
        message.insert(u"sessionId"_s, m_session);
    if (!send(message)) {
        m_error = method + u": the browser is gone"_s + logTail();
        return {};
    }
    const QDeadlineTimer deadline(ReplyTimeoutMs);
    while (!m_responses.contains(id)) {
        if (deadline.hasExpired() || !pump(int(qMin<qint64>(deadline.remainingTime(), 1000)))) {
            m_error = method + u": no reply from the browser"_s + logTail();
            return {};
        }
    }
    const QJsonObject reply = m_responses.take(id);
    if (reply.contains(u"error"_s)) {
        m_error = method + u": "_s + QString::fromUtf8(QJsonDocument(reply.value(u"error"_s).toObject()).toJson());
        return {};
    }
    return reply.value(u"result"_s).toObject();
}

bool HeadlessChromium::send(const QJsonObject& message)
{
    QByteArray bytes = QJsonDocument(message).toJson(QJsonDocument::Compact);
    bytes.append('\0');
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = write(m_toBrowser, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += n;
    }
    return true;
}

bool HeadlessChromium::pump(int timeoutMs)
{
    pollfd watched { m_fromBrowser, POLLIN, 0 };
    const int ready = poll(&watched, 1, timeoutMs);
    if (ready < 0)
        return errno == EINTR;
    if (ready == 0)
        return true;
    char buffer[65536];
    const ssize_t n = read(m_fromBrowser, buffer, sizeof buffer);
    if (n <= 0)
        return false;
    m_incoming.append(buffer, n);
    qsizetype end;
    while ((end = m_incoming.indexOf('\0')) >= 0) {
        const QByteArray text = m_incoming.left(end);
        m_incoming.remove(0, end + 1);
        handle(QJsonDocument::fromJson(text).object());
    }
    return true;
}

void HeadlessChromium::handle(const QJsonObject& message)
{
    if (message.contains(u"id"_s)) {
        m_responses.insert(message.value(u"id"_s).toInt(), message);
        return;
    }
    const QString event = message.value(u"method"_s).toString();
    if (event == u"Page.loadEventFired"_s) {
        ++m_loads;
    } else if (event == u"Page.javascriptDialogOpening"_s) {
        m_dialogs.append(message.value(u"params"_s).toObject().value(u"message"_s).toString());
        // Answered without waiting: the page stays blocked until the dialog is gone.
        send({ { u"id"_s, ++m_nextId }, { u"method"_s, u"Page.handleJavaScriptDialog"_s },
            { u"params"_s, QJsonObject { { u"accept"_s, false } } }, { u"sessionId"_s, m_session } });
    }
}

bool HeadlessChromium::waitForLoad(int loadsBefore)
{
    const QDeadlineTimer deadline(ReplyTimeoutMs);
    while (m_loads == loadsBefore) {
        if (deadline.hasExpired() || !pump(int(qMin<qint64>(deadline.remainingTime(), 1000)))) {
            m_error = u"the page did not finish loading"_s + logTail();
            return false;
        }
    }
    return true;
}

QString HeadlessChromium::logTail() const
{
    QFile log(m_profile.filePath(u"browser.log"_s));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = log.readAll();
    return u"\n"_s + QString::fromLocal8Bit(text.right(2000));
}
