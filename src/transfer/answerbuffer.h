#pragma once
// An answer as libcurl hands it over: the final header block put together from header lines, and
// the body in two buffers that take turns, one filled while the other is handed out, keeping their
// memory from request to request so that a long download allocates nothing per piece.
//   AnswerBuffer answer;
//   answer.headerLine("HTTP/1.1 100 Continue\r\n"); answer.headerLine("\r\n");   // false: informational
//   answer.headerLine("HTTP/1.1 200 OK\r\n"); answer.headerLine("\r\n");         // true: headers() is it
//   answer.append(bytes); QByteArrayView piece = answer.take();

#include <QByteArray>
#include <QByteArrayView>

class AnswerBuffer {
public:
    // Takes one header line (its line end optional); true when it completed a response's header block,
    // informational (1xx) ones left out. Lines after a completed block without a status line are a
    // chunked body's trailers, and dropped.
    bool headerLine(QByteArrayView line);
    // The last response's header block: lines ended by CR LF, the status line first, the empty line
    // kept ("HTTP/1.1 200 OK\r\n...\r\n\r\n"); an HTTP/2 status line carries no reason phrase.
    const QByteArray& headers() const { return m_headers; }
    // Forgets the block being put together, as a new hop starts; with headers, the last one too.
    void startHop(bool forgetHeaders);

    void append(const char* data, qsizetype length) { m_body.append(data, length); }
    qsizetype waiting() const { return m_body.size(); }
    // Every body byte waiting, valid until the next take() or clear().
    QByteArrayView take();
    // Empties the body buffers, keeping their memory.
    void clearBody();

private:
    QByteArray m_pendingBlock; // header block being received
    bool m_pendingComplete = false; // its empty line arrived
    QByteArray m_headers;
    QByteArray m_body; // being filled
    QByteArray m_handedOut; // the last piece handed out
};
