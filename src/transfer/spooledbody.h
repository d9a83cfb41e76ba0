#pragma once
// The body of a response fetched ahead of its use: the first bytes in memory, the rest in a
// temporary file that is unlinked at once where the system allows it, read back in order in pieces
// of bounded size, so many waiting bodies cost little memory.
//   SpooledBody body(256 * 1024);
//   body.append(piece);            // false when the temporary file cannot be written
//   QByteArray next = body.take(); // "" when nothing is waiting

#include <QByteArray>
#include <QByteArrayView>
#include <QTemporaryFile>
#include <memory>

class SpooledBody {
public:
    explicit SpooledBody(qsizetype memoryLimit);
    ~SpooledBody();
    SpooledBody(const SpooledBody&) = delete;
    SpooledBody& operator=(const SpooledBody&) = delete;

    // Keeps bytes after those already waiting; with inMemory they stay in memory whatever the limit
    // (for a body being read as it arrives).
    bool append(QByteArrayView bytes, bool inMemory = false);
    // The next waiting bytes, in order, at most about pieceLimit of them from the file.
    QByteArray take();
    bool isEmpty() const { return m_memory.isEmpty() && m_readAt == m_writeAt; }
    // Everything waiting, left waiting; nullptr when part of it is in the file.
    const QByteArray* inMemory() const { return m_readAt == m_writeAt ? &m_memory : nullptr; }
    // The temporary file could not be read back: bytes were lost.
    bool failed() const { return m_failed; }
    // Forgets everything waiting.
    void clear();

    static constexpr qsizetype pieceLimit = 256 * 1024;

private:
    qsizetype m_memoryLimit;
    QByteArray m_memory; // always before what the file holds
    std::unique_ptr<QTemporaryFile> m_file;
    qint64 m_readAt = 0;
    qint64 m_writeAt = 0;
    bool m_failed = false;
};
