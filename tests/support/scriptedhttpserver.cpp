#include "support/scriptedhttpserver.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QMutex>
#include <QMutexLocker>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QWaitCondition>
#include <algorithm>
#include <optional>
#include <tuple>

using namespace Qt::StringLiterals;

struct ScriptedHttpServer::Shared {
    struct File {
        QByteArray body;
        qsizetype maxPiece = 0;
        int delayMs = 0;
    };

    mutable QMutex mutex;
    mutable QWaitCondition arrived;
    QList<Reply> queue;
    QHash<QByteArray, Reply> routes;
    QList<std::tuple<QByteArray, QByteArray, Reply>> heldRoutes; // path, text in the head, answer
    QHash<QByteArray, File> files;
    QList<Request> requests;
    int connections = 0;
    int open = 0;
    int peakOpen = 0;
    int connectionLimit = 0; // 0: no limit
    Reply overLimit;
    int lingerMs = 0;
    int counted = 0; // connections counted against the limit
    int workers = 0; // 0: every connection is served
    int idleHoldMs = 0;
    int idleClosings = 0;
    QElapsedTimer clock;

    // A ranged answer of a served file, or nothing when path names none.
    std::optional<Reply> fileAnswer(const QByteArray& path, const QByteArray& head) const
    {
        const auto found = files.constFind(path);
        if (found == files.cend())
            return std::nullopt;
        const QByteArray& body = found->body;
        const Headers headers { { "Content-Type", "application/octet-stream" }, { "ETag", "\"f1\"" },
            { "Accept-Ranges", "bytes" } };
        qsizetype start = -1;
        qsizetype end = body.size() - 1;
        for (const QByteArray& line : head.split('\n')) {
            if (!line.toLower().startsWith("range: bytes="))
                continue;
            const QList<QByteArray> bounds = line.mid(13).trimmed().split('-');
            start = bounds.value(0).toLongLong();
            if (!bounds.value(1).isEmpty())
                end = std::min(end, qsizetype(bounds.value(1).toLongLong()));
        }
        QByteArray bytes;
        if (start < 0) {
            bytes = response(200, "OK", headers, body);
        } else {
            end = std::min(end, start + found->maxPiece - 1);
            bytes = response(206, "Partial Content",
                headers
                    + Headers { { "Content-Range",
                        "bytes " + QByteArray::number(start) + '-' + QByteArray::number(end) + '/'
                            + QByteArray::number(body.size()) } },
                body.mid(start, end - start + 1));
        }
        if (head.startsWith("HEAD "))
            bytes.truncate(bytes.indexOf("\r\n\r\n") + 4);
        return Reply { bytes, found->delayMs };
    }

    // Records the request and picks its answer.
    Reply answer(const Request& request)
    {
        QMutexLocker lock(&mutex);
        requests.append(request);
        requests.last().arrivedMs = clock.elapsed();
        arrived.wakeAll();
        QByteArray target = request.target();
        if (!routes.contains(target) && target.contains("://")) {
            const qsizetype pathStart = target.indexOf('/', target.indexOf("://") + 3);
            target = pathStart < 0 ? "/"_ba : target.mid(pathStart);
        }
        if (const std::optional<Reply> file = fileAnswer(target, request.head))
            return *file;
        const auto held = std::find_if(heldRoutes.cbegin(), heldRoutes.cend(), [&](const auto& route) {
            return std::get<0>(route) == target && request.head.contains(std::get<1>(route));
        });
        if (held != heldRoutes.cend() || routes.contains(target)) {
            Reply reply = held != heldRoutes.cend() ? std::get<2>(*held) : routes.value(target);
            // A routed answer serves HEAD too, with its head only, as a server would.
            if (request.head.startsWith("HEAD ")) {
                const qsizetype end = reply.bytes.indexOf("\r\n\r\n");
                if (end >= 0)
                    reply.bytes.truncate(end + 4);
            }
            return reply;
        }
        if (target == "/robots.txt") // unscripted, it is not there, as on most sites
            return Reply { response(404, "Not Found") };
        if (!queue.isEmpty())
            return queue.takeFirst();
        return Reply { response(500, "No scripted reply"), 0, -1, 0, 0, false };
    }
};

namespace {

qsizetype contentLength(const QByteArray& head)
{
    for (const QByteArray& line : head.split('\n')) {
        if (line.toLower().startsWith("content-length:"))
            return line.mid(15).trimmed().toLongLong();
    }
    return 0;
}

} // namespace

class ScriptedHttpServer::Thread final : public QThread {
public:
    explicit Thread(std::shared_ptr<Shared> shared)
        : m_shared(std::move(shared))
    {
    }

    QSemaphore ready;
    quint16 port = 0;

protected:
    void run() override
    {
        QTcpServer server;
        m_server = &server;
        if (server.listen(QHostAddress::LocalHost, 0))
            port = server.serverPort();
        ready.release();
        if (port == 0)
            return;
        connect(&server, &QTcpServer::newConnection, &server, [this, &server] {
            while (QTcpSocket* socket = server.nextPendingConnection())
                accept(socket);
        });
        exec();
        // The sockets are the server's children and go with it, their pending timers too.
    }

private:
    struct Connection {
        QByteArray buffer;
        bool answering = false;
        int index = 0;
        bool counted = false; // against the connection limit
        bool overLimit = false; // gets the over-limit answer, then is closed
        bool working = false; // holds a worker
        QTimer* idle = nullptr; // closes a served connection that holds its worker idle
    };

    void accept(QTcpSocket* socket)
    {
        auto connection = std::make_shared<Connection>();
        bool closeNow = false;
        {
            QMutexLocker lock(&m_shared->mutex);
            connection->index = m_shared->connections++;
            m_shared->peakOpen = std::max(m_shared->peakOpen, ++m_shared->open);
            if (m_shared->connectionLimit > 0) {
                connection->overLimit = m_shared->counted >= m_shared->connectionLimit;
                connection->counted = !connection->overLimit;
                m_shared->counted += connection->counted;
                closeNow = connection->overLimit && m_shared->overLimit.bytes.isEmpty();
            }
        }
        m_sockets.insert(socket, connection);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket, connection] {
            connection->buffer += socket->readAll();
            takeRequest(socket, connection);
        });
        connect(socket, &QTcpSocket::disconnected, socket, [this, socket, connection] {
            m_sockets.remove(socket);
            m_waiting.removeAll(socket);
            {
                QMutexLocker lock(&m_shared->mutex);
                --m_shared->open;
            }
            if (connection->counted)
                QTimer::singleShot(m_shared->lingerMs, m_server, [shared = m_shared] {
                    QMutexLocker lock(&shared->mutex);
                    --shared->counted;
                });
            if (connection->working) {
                --m_busyWorkers;
                serveNextWaiting();
            }
            socket->deleteLater();
        });
        if (closeNow) {
            socket->disconnectFromHost();
            return;
        }
        if (m_shared->workers > 0 && m_busyWorkers >= m_shared->workers && !connection->overLimit) {
            m_waiting.append(socket);
            return;
        }
        connection->working = m_shared->workers > 0;
        m_busyWorkers += connection->working;
    }

    void serveNextWaiting()
    {
        while (!m_waiting.isEmpty() && m_busyWorkers < m_shared->workers) {
            QTcpSocket* socket = m_waiting.takeFirst();
            const std::shared_ptr<Connection> connection = m_sockets.value(socket);
            if (!connection)
                continue;
            connection->working = true;
            ++m_busyWorkers;
            connection->buffer += socket->readAll();
            takeRequest(socket, connection);
        }
    }

    void takeRequest(QTcpSocket* socket, const std::shared_ptr<Connection>& connection)
    {
        if (connection->answering || m_waiting.contains(socket))
            return;
        const qsizetype headEnd = connection->buffer.indexOf("\r\n\r\n");
        if (headEnd < 0) {
            if (connection->working && m_shared->idleHoldMs > 0)
                holdIdle(socket, connection);
            return;
        }
        if (connection->idle)
            connection->idle->stop();
        Request request;
        request.head = connection->buffer.left(headEnd + 4);
        const qsizetype bodyLength = contentLength(request.head);
        if (connection->buffer.size() < headEnd + 4 + bodyLength)
            return;
        request.body = connection->buffer.mid(headEnd + 4, bodyLength);
        request.connection = connection->index;
        connection->buffer.remove(0, headEnd + 4 + bodyLength);
        Reply reply = m_shared->answer(request);
        if (connection->overLimit) {
            reply = m_shared->overLimit;
            reply.closeAfter = true;
        }
        connection->answering = true;
        QTimer::singleShot(
            reply.delayMs, socket, [this, socket, connection, reply] { send(socket, connection, reply, 0); });
    }

    void holdIdle(QTcpSocket* socket, const std::shared_ptr<Connection>& connection)
    {
        if (!connection->idle) {
            connection->idle = new QTimer(socket);
            connection->idle->setSingleShot(true);
            connect(connection->idle, &QTimer::timeout, socket, [this, socket] {
                QMutexLocker lock(&m_shared->mutex);
                ++m_shared->idleClosings;
                lock.unlock();
                socket->disconnectFromHost();
            });
        }
        connection->idle->start(m_shared->idleHoldMs);
    }

    void send(QTcpSocket* socket, const std::shared_ptr<Connection>& connection, const Reply& reply, qsizetype offset)
    {
        const qsizetype total
            = reply.closeAfterBytes >= 0 ? std::min(reply.closeAfterBytes, reply.bytes.size()) : reply.bytes.size();
        const qsizetype piece
            = reply.chunkSize > 0 ? std::min<qsizetype>(reply.chunkSize, total - offset) : total - offset;
        if (piece > 0)
            socket->write(reply.bytes.mid(offset, piece));
        offset += piece;
        if (offset < total) {
            QTimer::singleShot(reply.chunkPauseMs, socket,
                [this, socket, connection, reply, offset] { send(socket, connection, reply, offset); });
            return;
        }
        if (reply.closeAfter || reply.closeAfterBytes >= 0) {
            socket->disconnectFromHost(); // after the written bytes are out
            return;
        }
        connection->answering = false;
        takeRequest(socket, connection);
    }

    std::shared_ptr<Shared> m_shared;
    QTcpServer* m_server = nullptr;
    QHash<QTcpSocket*, std::shared_ptr<Connection>> m_sockets;
    QList<QTcpSocket*> m_waiting; // for a worker, in order of arrival
    int m_busyWorkers = 0;
};

QByteArray ScriptedHttpServer::Request::target() const
{
    const QByteArray line = head.left(head.indexOf("\r\n"));
    const QList<QByteArray> parts = line.split(' ');
    return parts.size() >= 2 ? parts.at(1) : QByteArray();
}

ScriptedHttpServer::ScriptedHttpServer()
    : m_shared(std::make_shared<Shared>())
    , m_thread(std::make_unique<Thread>(m_shared))
{
    m_shared->clock.start();
}

ScriptedHttpServer::~ScriptedHttpServer()
{
    if (m_thread->isRunning()) {
        m_thread->quit();
        m_thread->wait();
    }
}

bool ScriptedHttpServer::start()
{
    m_thread->start();
    if (!m_thread->ready.tryAcquire(1, 10000))
        return false;
    return m_thread->port != 0;
}

quint16 ScriptedHttpServer::port() const
{
    return m_thread->port;
}

QString ScriptedHttpServer::url(const QString& path) const
{
    return u"http://127.0.0.1:%1"_s.arg(port()) + path;
}

void ScriptedHttpServer::limitConnections(int most, const std::optional<Reply>& overLimit, int lingerMs)
{
    QMutexLocker lock(&m_shared->mutex);
    m_shared->connectionLimit = most;
    m_shared->overLimit = overLimit.value_or(Reply {});
    m_shared->lingerMs = lingerMs;
}

void ScriptedHttpServer::limitWorkers(int workers, int idleHoldMs)
{
    QMutexLocker lock(&m_shared->mutex);
    m_shared->workers = workers;
    m_shared->idleHoldMs = idleHoldMs;
}

void ScriptedHttpServer::serveFile(const QByteArray& path, const QByteArray& body, qsizetype maxPiece, int delayMs)
{
    QMutexLocker lock(&m_shared->mutex);
    m_shared->files.insert(path, { body, maxPiece, delayMs });
}

void ScriptedHttpServer::enqueue(const Reply& reply)
{
    QMutexLocker lock(&m_shared->mutex);
    m_shared->queue.append(reply);
}

void ScriptedHttpServer::route(const QByteArray& path, const Reply& reply)
{
    QMutexLocker lock(&m_shared->mutex);
    m_shared->routes.insert(path, reply);
}

void ScriptedHttpServer::routeWhenHeadHolds(const QByteArray& path, const QByteArray& text, const Reply& reply)
{
    QMutexLocker lock(&m_shared->mutex);
    m_shared->heldRoutes.removeIf(
        [&](const auto& route) { return std::get<0>(route) == path && std::get<1>(route) == text; });
    m_shared->heldRoutes.prepend({ path, text, reply });
}

QList<ScriptedHttpServer::Request> ScriptedHttpServer::requests() const
{
    QMutexLocker lock(&m_shared->mutex);
    return m_shared->requests;
}

int ScriptedHttpServer::idleClosings() const
{
    QMutexLocker lock(&m_shared->mutex);
    return m_shared->idleClosings;
}

int ScriptedHttpServer::connectionCount() const
{
    QMutexLocker lock(&m_shared->mutex);
    return m_shared->connections;
}

int ScriptedHttpServer::peakOpenConnections() const
{
    QMutexLocker lock(&m_shared->mutex);
    return m_shared->peakOpen;
}

bool ScriptedHttpServer::waitForRequests(int count, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    QMutexLocker lock(&m_shared->mutex);
    while (m_shared->requests.size() < count) {
        if (!m_shared->arrived.wait(&m_shared->mutex, deadline))
            return m_shared->requests.size() >= count;
    }
    return true;
}

QByteArray ScriptedHttpServer::response(
    int status, const QByteArray& reason, const Headers& headers, const QByteArray& body)
{
    QByteArray text = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\n";
    bool framed = false;
    for (const auto& [name, value] : headers) {
        text += name + ": " + value + "\r\n";
        const QByteArray lower = name.toLower();
        framed = framed || lower == "content-length" || lower == "transfer-encoding";
    }
    if (!framed)
        text += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    return text + "\r\n" + body;
}

QByteArray ScriptedHttpServer::chunked(const QByteArray& body, qsizetype pieceSize)
{
    QByteArray text;
    for (qsizetype at = 0; at < body.size(); at += pieceSize) {
        const QByteArray piece = body.mid(at, pieceSize);
        text += QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n";
    }
    return text + "0\r\n\r\n";
}
