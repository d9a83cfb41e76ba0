#pragma once
// The body of a response fetched ahead of its use: the first bytes in memory (its own limit, and
// beyond that what a memory budget it shares with other bodies has room for: the look-ahead's
// bodies share 6 MB), the rest in a temporary file that is unlinked at once where the system allows
// it, read back in order in pieces of bounded size, so many waiting bodies cost little memory.
//   SpooledBody body(256 * 1024, &budget);
//   body.append(piece);            // false when the temporary file cannot be written
//   QByteArray next = body.take(); // "" when nothing is waiting

#include <QByteArray>
#include <QByteArrayView>
#include <QTemporaryFile>
#include <atomic>
#include <memory>

// Memory that bodies share beyond their own limit, so that pieces fetched ahead of a large file
// wait in memory rather than being written to a temporary file and read back.
class MemoryBudget {
public:
    explicit MemoryBudget(qsizetype limit)
        : m_limit(limit)
    {
    }
    // Takes bytes from the budget; false, taking nothing, when they do not fit.
    bool take(qsizetype bytes);
    void give(qsizetype bytes) { m_used -= bytes; }
    qsizetype used() const { return m_used; }

private:
    const qsizetype m_limit;
    std::atomic<qsizetype> m_used { 0 };
};

class SpooledBody {
public:
    // shared: where bytes beyond memoryLimit may stay in memory while it has room, or none.
    explicit SpooledBody(qsizetype memoryLimit, MemoryBudget* shared = nullptr);
    ~SpooledBody();
    SpooledBody(const SpooledBody&) = delete;
    SpooledBody& operator=(const SpooledBody&) = delete;

    // Told once, before the first bytes, how long the body will be: one that fits the shared budget
    // is kept whole in memory, in one buffer of its size rather than one grown piece by piece.
    void expect(qint64 length);
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
    void giveBack();

    qsizetype m_memoryLimit;
    MemoryBudget* m_shared;
    qsizetype m_charged = 0; // of m_memory, taken from m_shared
    bool m_expected = false; // its length was told
    QByteArray m_memory; // always before what the file holds
    std::unique_ptr<QTemporaryFile> m_file;
    qint64 m_readAt = 0;
    qint64 m_writeAt = 0;
    bool m_failed = false;
};
