#include "platform/shell.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

using namespace Qt::StringLiterals;

namespace {

void openWithDesktop(const QString& path, const wchar_t* verb)
{
#ifdef Q_OS_WIN
    ShellExecuteW(nullptr, verb, reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()), nullptr,
        nullptr, SW_SHOWNORMAL);
#else
    Q_UNUSED(verb);
    if (!DesktopShell::hasDisplay())
        return;
    const QString opener = QStandardPaths::findExecutable(u"xdg-open"_s);
    if (!opener.isEmpty())
        QProcess::startDetached(opener, { path });
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

void DesktopShell::openDocument(const QString& path)
{
    openWithDesktop(path, L"open");
}

void DesktopShell::exploreFolder(const QString& path)
{
    openWithDesktop(path, L"explore");
}
