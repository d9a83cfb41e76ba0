#include "platform/singleinstance.h"

#include "platform/filelock.h"
#include "productnames.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

SingleInstance::SingleInstance(const QString& lockPath)
{
    QString path = lockPath;
    if (path.isEmpty()) {
#ifdef Q_OS_WIN
        // Windows' "runtime" folder is the user's profile, which these files would litter.
        const QString folder = QDir::tempPath();
#else
        QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        if (folder.isEmpty())
            folder = QDir::tempPath();
#endif
        path = folder + u'/' + MakerName + u'-' + ProductName + u".lock"_s;
    }
    // The running copy watches a file beside the lock; a later copy writes to it.
    m_raisePath = path + u".raise"_s;
    m_lockPath = path;
}

SingleInstance::~SingleInstance()
{
    // The running copy's request file goes with it; the lock file goes with its lock.
    if (m_watcher) {
        m_watcher.reset();
        QFile::remove(m_raisePath);
    }
}

bool SingleInstance::acquire()
{
    // The system's lock on the open file: it dies with the copy that held it, however that ended.
    m_lock = std::make_unique<FileLock>(m_lockPath);
    if (m_lock->state() == FileLock::Held)
        return true;
    m_lock.reset();
    return false;
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
