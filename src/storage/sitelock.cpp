#include "storage/sitelock.h"

#include "platform/filelock.h"
#include "productnames.h"

#include <QFileInfo>
#include <QHash>
#include <QMutex>

using namespace Qt::StringLiterals;

namespace {

// The locks this program holds, by folder, while any of its runs holds one.
QMutex heldMutex;
QHash<QString, std::weak_ptr<FileLock>> heldLocks;

} // namespace

QString SiteLockPath(const QString& siteDir)
{
    return siteDir + u'/' + ProductName + u"Lock.lock"_s;
}

SiteLock::SiteLock(const QString& siteDir)
    : m_folder(QFileInfo(siteDir).canonicalFilePath())
{
    if (m_folder.isEmpty())
        return;
    const QMutexLocker guard(&heldMutex);
    m_file = heldLocks.value(m_folder).lock();
    if (m_file) {
        m_state = Held;
        return;
    }
    // The system's lock on the open file: a lock dies with its process, and no age frees it.
    auto file = std::make_shared<FileLock>(SiteLockPath(siteDir));
    if (file->state() != FileLock::Held) {
        m_state = file->state() == FileLock::InUse ? InUse : Unavailable;
        return;
    }
    heldLocks.insert(m_folder, file);
    m_file = std::move(file);
    m_state = Held;
}

SiteLock::~SiteLock()
{
    if (!m_file)
        return;
    const QMutexLocker guard(&heldMutex);
    if (m_file.use_count() == 1)
        heldLocks.remove(m_folder);
    m_file.reset(); // the last holder removes the lock file
}
