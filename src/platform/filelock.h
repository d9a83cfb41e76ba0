#pragma once
// A lock on a file held with the system's own lock on the open file (flock, LockFileEx): it lives
// exactly as long as the process holds the file open, so a killed or crashed program leaves
// nothing that keeps the next one out, whatever a file left behind says or whichever process
// number the next one gets. The file names its holder's process number, for people to read (on
// Windows it is removed as its holder ends, and only an opener that shares deletion reads it).
//   FileLock lock(siteDir + u"/FetchwrightLock.lock"_s);
//   if (lock.state() == FileLock::InUse) ...   // another process holds it; tried once, no wait
// Two FileLocks on one path in one process exclude each other too.

#include <QString>

class FileLock {
public:
    enum State {
        Held,
        InUse, // another holder has it
        Unavailable, // the file cannot be made or opened
    };

    explicit FileLock(const QString& path);
    // Releases the lock and removes the file.
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    State state() const { return m_state; }

private:
    QString m_path;
    State m_state = Unavailable;
    qintptr m_handle = -1; // a descriptor, or a Windows handle
};
