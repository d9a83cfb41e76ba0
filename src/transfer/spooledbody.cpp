#include "transfer/spooledbody.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

bool MemoryBudget::take(qsizetype bytes)
{
    qsizetype used = m_used;
    do {
        if (used + bytes > m_limit)
            return false;
    } while (!m_used.compare_exchange_weak(used, used + bytes));
    return true;
}

SpooledBody::SpooledBody(qsizetype memoryLimit, MemoryBudget* shared)
    : m_memoryLimit(memoryLimit)
    , m_shared(shared)
{
}

SpooledBody::~SpooledBody()
{
    giveBack();
}

void SpooledBody::giveBack()
{
    if (m_shared && m_charged > 0)
        m_shared->give(m_charged);
    m_charged = 0;
}

void SpooledBody::expect(qint64 length)
{
    if (std::exchange(m_expected, true) || !m_shared || length <= m_memoryLimit || !m_memory.isEmpty()
        || length > std::numeric_limits<qsizetype>::max() / 2 || !m_shared->take(qsizetype(length) - m_memoryLimit))
        return;
    // Charged for all of it at once and given its room whole: a buffer grown piece by piece moves
    // the bytes again at each step and takes fresh pages from the system each time.
    m_charged = qsizetype(length) - m_memoryLimit;
    m_memory.reserve(qsizetype(length));
}

bool SpooledBody::append(QByteArrayView bytes, bool inMemory)
{
    if (bytes.isEmpty())
        return true;
    const bool fileHoldsBytes = m_readAt < m_writeAt;
    if (!fileHoldsBytes) {
        const qsizetype beyond = std::max<qsizetype>(0, m_memory.size() + bytes.size() - m_memoryLimit - m_charged);
        if (inMemory || beyond == 0) {
            m_memory += bytes;
            return true;
        }
    }
    if (!m_file) {
        m_file = std::make_unique<QTemporaryFile>(QDir::tempPath() + u"/fetchwright-XXXXXX.part"_s);
        if (!m_file->open()) {
            m_file.reset();
            return false;
        }
        // Unlinked while open, a killed process leaves nothing behind; where the system refuses,
        // the file goes when it is closed.
        QFile::remove(m_file->fileName());
    }
    if (!m_file->seek(m_writeAt) || m_file->write(bytes.data(), bytes.size()) != bytes.size())
        return false;
    m_writeAt += bytes.size();
    return true;
}

QByteArray SpooledBody::take()
{
    // A body being read is the crawl's own: it no longer waits on the shared memory.
    giveBack();
    if (!m_memory.isEmpty())
        return std::exchange(m_memory, QByteArray());
    if (m_readAt == m_writeAt || !m_file)
        return {};
    const QByteArray bytes
        = m_file->seek(m_readAt) ? m_file->read(qMin<qint64>(pieceLimit, m_writeAt - m_readAt)) : QByteArray();
    m_readAt += bytes.size();
    if (bytes.isEmpty()) {
        // A file that cannot be read back gives up its bytes rather than stalling the reader.
        m_failed = true;
        m_readAt = m_writeAt;
    }
    if (m_readAt == m_writeAt) {
        m_file->resize(0);
        m_readAt = m_writeAt = 0;
    }
    return bytes;
}

void SpooledBody::clear()
{
    giveBack();
    m_expected = false;
    m_memory = QByteArray();
    m_file.reset();
    m_readAt = m_writeAt = 0;
    m_failed = false;
}
