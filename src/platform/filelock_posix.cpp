#include "platform/filelock.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

FileLock::FileLock(const QString& path)
    : m_path(path)
{
    const QByteArray name = QFile::encodeName(path);
    // A holder removes the file as it lets go: a lock taken on a file no longer at the path is
    // nobody's, so the path is looked at again once the lock is had.
    for (int attempt = 0; attempt < 10; ++attempt) {
        const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0)
            return;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            m_state = errno == EWOULDBLOCK ? InUse : Unavailable;
            ::close(fd);
            return;
        }
        struct stat opened { };
        struct stat named { };
        if (::fstat(fd, &opened) == 0 && ::stat(name.constData(), &named) == 0 && opened.st_dev == named.st_dev
            && opened.st_ino == named.st_ino) {
            const QByteArray holder = QByteArray::number(QCoreApplication::applicationPid()) + '\n';
            if (::ftruncate(fd, 0) == 0 && ::write(fd, holder.constData(), size_t(holder.size())) < 0) {
                // The number is for people; the lock holds without it.
            }
            m_handle = fd;
            m_state = Held;
            return;
        }
        ::close(fd);
    }
}

FileLock::~FileLock()
{
    if (m_handle < 0)
        return;
    ::unlink(QFile::encodeName(m_path).constData());
    ::close(int(m_handle));
}
