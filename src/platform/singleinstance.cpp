#include "platform/singleinstance.h"

#include "productnames.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
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
    // The running copy watches a file beside the lock; a later copy writes to it.
    m_raisePath = path + u".raise"_s;
    m_lock = std::make_unique<QLockFile>(path);
    // Only a dead owner makes a lock stale, never its age: a long crawl keeps its lock.
    m_lock->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::acquire()
{
    return m_lock->tryLock(0);
}

void SingleInstance::askToRaise()
{
    QFile request(m_raisePath);
    if (request.open(QIODevice::WriteOnly | QIODevice::Truncate))
        request.write(QByteArray::number(QCoreApplication::applicationPid()));
}

void SingleInstance::onRaiseRequest(std::function<void()> handler)
{
    {
        QFile request(m_raisePath);
        if (!request.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return;
    }
    m_watcher = std::make_unique<QFileSystemWatcher>(QStringList { m_raisePath });
    QObject::connect(m_watcher.get(), &QFileSystemWatcher::fileChanged, m_watcher.get(),
        [this, handler = std::move(handler)](const QString& path) {
            // A file replaced rather than written leaves the watch; it is taken up again.
            if (!m_watcher->files().contains(path) && QFile::exists(path))
                m_watcher->addPath(path);
            handler();
        });
}
