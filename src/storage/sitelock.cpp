#include "storage/sitelock.h"

#include "productnames.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QLockFile>
#include <QMutex>

using namespace Qt::StringLiterals;

namespace {

// The locks this program holds, by folder, while any of its runs holds one.
QMutex heldMutex;
QHash<QString, std::weak_ptr<QLockFile>> heldLocks;

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
    auto file = std::make_shared<QLockFile>(SiteLockPath(siteDir));
    // Only a dead owner frees a lock, never its age: a crawl may run for days.
    file->setStaleLockTime(0);
    bool locked = file->tryLock(0);
    // A process killed between making the lock file and writing its number into it leaves a file
    // that names no owner: removed, unless a running owner still holds it (the system's lock on
    // the open file tells).
    if (!locked && file->error() == QLockFile::LockFailedError && !file->getLockInfo(nullptr, nullptr, nullptr)
        && file->removeStaleLockFile())
        locked = file->tryLock(0);
    // A file naming this process, which holds no lock on the folder, was left by it (one it could not
    // remove, the folder read-only for a while) or by a dead process whose number it now has.
    qint64 owner = 0;
    if (!locked && file->error() == QLockFile::LockFailedError && file->getLockInfo(&owner, nullptr, nullptr)
        && owner == QCoreApplication::applicationPid() && file->removeStaleLockFile())
        locked = file->tryLock(0);
    if (!locked) {
        m_state = file->error() == QLockFile::LockFailedError ? InUse : Unavailable;
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
