#include "transfer/spooledbody.h"

#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;

SpooledBody::SpooledBody(qsizetype memoryLimit)
    : m_memoryLimit(memoryLimit)
{
}

SpooledBody::~SpooledBody() = default;

bool SpooledBody::append(QByteArrayView bytes, bool inMemory)
{
    if (bytes.isEmpty())
        return true;
    const bool fileHoldsBytes = m_readAt < m_writeAt;
    if (!fileHoldsBytes && (inMemory || m_memory.size() + bytes.size() <= m_memoryLimit)) {
        m_memory += bytes;
        return true;
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
    m_memory = QByteArray();
    m_file.reset();
    m_readAt = m_writeAt = 0;
    m_failed = false;
}
