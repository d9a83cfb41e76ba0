#include "platform/filelock.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <windows.h>

FileLock::FileLock(const QString& path)
    : m_path(path)
{
    // Removed by the system once the last handle closes, however the process ended; every opener
    // shares deletion so that a waiting one does not keep it.
    const HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()),
        GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        // A holder's file refuses a new opener while it is being deleted.
        const DWORD error = GetLastError();
        const bool held = error == ERROR_SHARING_VIOLATION || (error == ERROR_ACCESS_DENIED && QFileInfo::exists(path));
        m_state = held ? InUse : Unavailable;
        return;
    }
    // A byte far beyond the text is locked, so the holder's number stays readable to others.
    OVERLAPPED beyond {};
    beyond.OffsetHigh = 1;
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &beyond)) {
        m_state = GetLastError() == ERROR_LOCK_VIOLATION ? InUse : Unavailable;
        CloseHandle(file);
        return;
    }
    const QByteArray holder = QByteArray::number(QCoreApplication::applicationPid()) + "\r\n";
    DWORD written = 0;
    SetEndOfFile(file);
    WriteFile(file, holder.constData(), DWORD(holder.size()), &written, nullptr);
    m_handle = reinterpret_cast<qintptr>(file);
    m_state = Held;
}

FileLock::~FileLock()
{
    if (m_handle < 0)
        return;
    CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}
