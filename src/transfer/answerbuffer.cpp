#include "transfer/answerbuffer.h"

#include "transfer/curlrequest.h"

bool AnswerBuffer::headerLine(QByteArrayView line)
{
    // Read in place: every line of every answer passes here.
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    if (line.startsWith("HTTP/")) {
        // libcurl writes an HTTP/2 status line, which has no reason phrase, with a blank after the code.
        if (line.startsWith("HTTP/2 ") || line.startsWith("HTTP/3 "))
            line = line.trimmed();
        m_pendingBlock.clear();
        m_pendingComplete = false;
    } else if (m_pendingComplete || m_pendingBlock.isEmpty()) {
        return false; // a chunked trailer, or a stray line before any status line
    }
    m_pendingBlock += line;
    m_pendingBlock += "\r\n";
    if (!line.isEmpty())
        return false;
    m_pendingComplete = true;
    const int status = StatusCodeOf(m_pendingBlock);
    if (status >= 100 && status < 200)
        return false; // informational; the real response follows
    m_headers = m_pendingBlock;
    return true;
}

void AnswerBuffer::startHop(bool forgetHeaders)
{
    m_pendingBlock.clear();
    m_pendingComplete = false;
    if (forgetHeaders)
        m_headers.clear();
}

QByteArrayView AnswerBuffer::take()
{
    if (m_body.isEmpty())
        return {};
    m_handedOut.swap(m_body);
    m_body.resize(0);
    return m_handedOut;
}

void AnswerBuffer::clearBody()
{
    // Emptied, not freed: the next request fills the same memory.
    m_body.resize(0);
    m_handedOut.resize(0);
}
