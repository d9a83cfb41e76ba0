#pragma once
// The desktop's document service: open a document with its default handler, show a folder in
// the file manager. Each says whether the desktop took the request, so a caller can tell the user
// where the document is when nothing could open it. Tests put a recorder in its place.

#include <QString>

class Shell {
public:
    virtual ~Shell() = default;
    virtual bool openDocument(const QString& path) = 0;
    virtual bool exploreFolder(const QString& path) = 0;
};

// For a program without a window system connection (the command line): xdg-open on Linux
// (nothing is opened without a display); ShellExecute on Windows.
class DesktopShell final : public Shell {
public:
    bool openDocument(const QString& path) override;
    bool exploreFolder(const QString& path) override;
    // Whether a desktop is there to show anything.
    static bool hasDisplay();
};
