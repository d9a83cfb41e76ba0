#pragma once
// Whether another copy of the program runs for this user: a lock file in the user's runtime folder,
// held while the program runs with the system's lock on the open file. A copy that crashed or was
// killed leaves no stuck lock, whichever process number the next copy gets. A later copy can ask the running one to
// show itself:
//   SingleInstance instance;
//   if (!instance.acquire()) { instance.askToRaise(); return; }
//   instance.onRaiseRequest([&window] { window.raise(); });

#include <QString>
#include <functional>
#include <memory>

class QFileSystemWatcher;
class FileLock;

class SingleInstance {
public:
    // lockPath empty: the user's runtime folder.
    explicit SingleInstance(const QString& lockPath = {});
    ~SingleInstance();
    // True when this copy is the only one; the lock is then held until destruction.
    bool acquire();
    // Asks the copy that holds the lock to bring its window to the front.
    void askToRaise();
    // Calls handler whenever a later copy asks (only while this copy holds the lock).
    void onRaiseRequest(std::function<void()> handler);

private:
    QString m_lockPath;
    QString m_raisePath;
    std::unique_ptr<FileLock> m_lock;
    std::unique_ptr<QFileSystemWatcher> m_watcher;
};
