// The terminal on Windows: the console's Ctrl-C, Ctrl-Break and close are the stop signals.
#include "platform/terminal.h"

#include <atomic>
#include <cstdio>
#include <io.h>
#include <windows.h>

namespace {

std::atomic<int> stopSignals { 0 };

BOOL WINAPI onConsoleEvent(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        if (stopSignals.fetch_add(1) > 0)
            ExitProcess(130);
        // A closing console ends the process once this returns: the crawl is given the few
        // seconds Windows allows to stop at its next checkpoint and leave its records whole.
        if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
            Sleep(4000);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

bool StandardInputIsTerminal()
{
    return _isatty(_fileno(stdin)) != 0;
}

bool StandardErrorIsTerminal()
{
    return _isatty(_fileno(stderr)) != 0;
}

void WatchStopSignals()
{
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

bool StopSignalled()
{
    return stopSignals.load() != 0;
}
