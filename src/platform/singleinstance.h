#pragma once
// Whether another copy of the program runs for this user: a lock file in the user's runtime folder,
// held while the program runs. A copy that crashed leaves no stuck lock: a lock whose process is
// gone counts as free.

#include <QString>
#include <memory>

class QLockFile;

class SingleInstance {
public:
    // lockPath empty: the user's runtime folder.
    explicit SingleInstance(const QString& lockPath = {});
    ~SingleInstance();
    // True when this copy is the only one; the lock is then held until destruction.
    bool acquire();

private:
    std::unique_ptr<QLockFile> m_lock;
};
