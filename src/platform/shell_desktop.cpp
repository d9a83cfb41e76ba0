#include "platform/shell.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

using namespace Qt::StringLiterals;

namespace {

bool openWithDesktop(const QString& path, const wchar_t* verb)
{
#ifdef Q_OS_WIN
    // ShellExecute reports success with a value above 32.
    return reinterpret_cast<INT_PTR>(
               ShellExecuteW(nullptr, verb, reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()),
                   nullptr, nullptr, SW_SHOWNORMAL))
        > 32;
#else
    Q_UNUSED(verb);
    if (!DesktopShell::hasDisplay())
        return false;
    const QString opener = QStandardPaths::findExecutable(u"xdg-open"_s);
    return !opener.isEmpty() && QProcess::startDetached(opener, { path });
#endif
}

} // namespace

bool DesktopShell::hasDisplay()
{
#ifdef Q_OS_WIN
    return true;
#else
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#endif
}

bool DesktopShell::openDocument(const QString& path)
{
    return openWithDesktop(path, L"open");
}

bool DesktopShell::exploreFolder(const QString& path)
{
    return openWithDesktop(path, L"explore");
}
