#pragma once
// The desktop's document service: open a document with its default handler, show a folder in
// the file manager. Tests put a recorder in its place.

#include <QString>

class Shell {
public:
    virtual ~Shell() = default;
    virtual void openDocument(const QString& path) = 0;
    virtual void exploreFolder(const QString& path) = 0;
};

// xdg-open on Linux (nothing is opened without a display); ShellExecute on Windows.
class DesktopShell final : public Shell {
public:
    void openDocument(const QString& path) override;
    void exploreFolder(const QString& path) override;
    // Whether a desktop is there to show anything.
    static bool hasDisplay();
};
