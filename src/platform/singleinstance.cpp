#include "platform/singleinstance.h"

#include "productnames.h"

#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

SingleInstance::SingleInstance(const QString& lockPath)
{
    QString path = lockPath;
    if (path.isEmpty()) {
        QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        if (folder.isEmpty())
            folder = QDir::tempPath();
        path = folder + u'/' + MakerName + u'-' + ProductName + u".lock"_s;
    }
    m_lock = std::make_unique<QLockFile>(path);
    // Only a dead owner makes a lock stale, never its age: a long crawl keeps its lock.
    m_lock->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::acquire()
{
    return m_lock->tryLock(0);
}
