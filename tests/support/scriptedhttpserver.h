#pragma once
// A raw-socket HTTP server on 127.0.0.1 for tests: it answers each request with bytes the test
// scripted, with faults on demand, and records every request it received. It runs in a thread of its
// own, so a test can drive a blocking transfer loop on the main thread.
//   ScriptedHttpServer server;
//   QVERIFY(server.start());
//   server.enqueue({ScriptedHttpServer::response(200, "OK", {{"Content-Type", "text/plain"}}, "hi")});
//   ... fetch server.url(u"/a"_s) ...
//   QCOMPARE(server.requests().at(0).head, "GET /a HTTP/1.1\r\nHost: ...\r\n\r\n");

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>
#include <optional>
#include <utility>

class ScriptedHttpServer {
public:
    struct Reply {
        QByteArray bytes; // sent exactly as given
        int delayMs = 0; // pause before the first byte
        qsizetype closeAfterBytes = -1; // send only this many bytes, then close; -1 sends all
        int chunkSize = 0; // when > 0, send in pieces of this size...
        int chunkPauseMs = 0; // ...with this pause between them
        bool closeAfter = false; // close the connection once the answer is out
    };
    // Nothing at all, then the connection closes.
    static Reply nothingThenClose() { return Reply { {}, 0, -1, 0, 0, true }; }
    // No answer ever; the connection stays open.
    static Reply silence() { return Reply {}; }

    struct Request {
        QByteArray head; // request line and header lines, up to and including the empty line
        QByteArray body; // as long as its Content-Length said
        int connection = 0; // which connection it came on, counted from 0
        qint64 arrivedMs = 0; // when its head was complete, in ms since the server started
        QByteArray target() const; // the request line's target: "/a?b" or "http://host/a?b"
    };

    using Headers = QList<std::pair<QByteArray, QByteArray>>;

    ScriptedHttpServer();
    ~ScriptedHttpServer();
    ScriptedHttpServer(const ScriptedHttpServer&) = delete;
    ScriptedHttpServer& operator=(const ScriptedHttpServer&) = delete;

    // Listens on an ephemeral port; returns once connections are accepted, false when it cannot listen.
    bool start();
    quint16 port() const;
    // "http://127.0.0.1:<port>" followed by path.
    QString url(const QString& path) const;

    // The answer to the next request that matches no route. Without any, a request gets a 500 answer;
    // /robots.txt without a route is never taken from the queue: it gets 404.
    void enqueue(const Reply& reply);
    // The answer to every request whose target, or the path of its absolute target, is path; a HEAD
    // request gets the answer's head alone.
    void route(const QByteArray& path, const Reply& reply);
    // Before any route: the answer to requests for path whose head holds text (a cookie, say); the
    // latest given comes first, and replaces one for the same path and text.
    void routeWhenHeadHolds(const QByteArray& path, const QByteArray& text, const Reply& reply);

    // Serves at most `most` connections at once: a further one is closed at once (no overLimit) or
    // gets overLimit to its first request. A closed connection still counts for lingerMs.
    void limitConnections(int most, const std::optional<Reply>& overLimit, int lingerMs = 0);
    // Only `workers` connections are served at once, the others wait unread; a served connection
    // keeps its worker while open, until it is idle for idleHoldMs and the server closes it.
    void limitWorkers(int workers, int idleHoldMs);
    // Serves body at path with an entity tag and byte ranges, never more than maxPiece bytes in
    // one ranged answer (a shorter 206 than asked for, as the protocol allows), each answer after
    // delayMs.
    void serveFile(const QByteArray& path, const QByteArray& body, qsizetype maxPiece, int delayMs = 0);

    // Connections the server closed because they held a worker idle too long.
    int idleClosings() const;

    QList<Request> requests() const;
    int connectionCount() const;
    // The most connections that were open at the same moment.
    int peakOpenConnections() const;
    // Waits until at least count requests arrived; false after timeoutMs.
    bool waitForRequests(int count, int timeoutMs) const;

    // "HTTP/1.1 <status> <reason>", the headers in order, Content-Length unless headers give it or a
    // Transfer-Encoding, the empty line and the body.
    static QByteArray response(
        int status, const QByteArray& reason, const Headers& headers = {}, const QByteArray& body = {});
    // body in chunked transfer coding, pieces of at most pieceSize bytes.
    static QByteArray chunked(const QByteArray& body, qsizetype pieceSize);

private:
    struct Shared;
    class Thread;
    std::shared_ptr<Shared> m_shared;
    std::unique_ptr<Thread> m_thread;
};
