#pragma once
// One run at a time on a site folder: a crawl, a resume and the download list hold the lock file
// SiteDir/FetchwrightLock.lock, beside the resume record, from before their first write until they
// end, so a second program (the window and the command line, or two command lines) touches nothing
// there. The runs of one program share the lock: the list pages a crawl opens as it ends, or the
// list button pressed during a crawl, go ahead. The lock is the system's on the open file, so it
// dies with its process (killed or crashed), whatever the file left says; its age never frees it,
// as a long crawl keeps its lock.
//   const SiteLock lock(siteDir);
//   if (lock.state() == SiteLock::InUse) ...  // another program runs there: refuse, write nothing

#include <QString>
#include <memory>

class FileLock;

class SiteLock {
public:
    enum State {
        Held, // this run may write the folder until the lock is destroyed
        InUse, // another program holds the folder
        Unavailable, // no lock file can be made: the folder is missing or cannot be written
    };

    explicit SiteLock(const QString& siteDir);
    ~SiteLock();
    SiteLock(const SiteLock&) = delete;
    SiteLock& operator=(const SiteLock&) = delete;

    State state() const { return m_state; }
    bool held() const { return m_state == Held; }

private:
    std::shared_ptr<FileLock> m_file;
    QString m_folder; // the site folder as the file system names it, whoever spelled it how
    State m_state = Unavailable;
};

QString SiteLockPath(const QString& siteDir);
