#pragma once
// Whether another copy of the program runs for this user: a lock file in the user's runtime folder,
// held while the program runs. A copy that crashed leaves no stuck lock: a lock whose process is
// gone counts as free. A later copy can ask the running one to show itself:
//   SingleInstance instance;
//   if (!instance.acquire()) { instance.askToRaise(); return; }
//   instance.onRaiseRequest([&window] { window.raise(); });

#include <QString>
#include <functional>
#include <memory>

class QFileSystemWatcher;
class QLockFile;

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
    QString m_raisePath;
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<QFileSystemWatcher> m_watcher;
};
