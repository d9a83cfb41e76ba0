// The terminal on Windows: the console's Ctrl-C, Ctrl-Break and close are the stop signals.
#include "platform/terminal.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <io.h>
#include <windows.h>

namespace {

std::atomic<int> stopSignals { 0 };
std::atomic<UINT> savedOutputPage { 0 };
std::atomic<UINT> savedInputPage { 0 };
bool escapesTaken = false;

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
constexpr DWORD ENABLE_VIRTUAL_TERMINAL_PROCESSING = 0x0004;
#endif

// The console outlives the program: it gets its code pages back however the program ends.
void restoreCodePages()
{
    if (const UINT page = savedOutputPage.exchange(0))
        SetConsoleOutputCP(page);
    if (const UINT page = savedInputPage.exchange(0))
        SetConsoleCP(page);
}

BOOL WINAPI onConsoleEvent(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        if (stopSignals.fetch_add(1) > 0) {
            restoreCodePages();
            ExitProcess(130);
        }
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

void PrepareTerminalOutput()
{
    DWORD mode = 0;
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    const bool errorIsConsole = GetConsoleMode(error, &mode) != 0;
    if (!errorIsConsole && !GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode))
        return; // pipes and files get UTF-8 as they do everywhere
    savedOutputPage = GetConsoleOutputCP();
    savedInputPage = GetConsoleCP();
    SetConsoleOutputCP(CP_UTF8);
    SetConsoleCP(CP_UTF8);
    std::atexit(restoreCodePages);
    if (errorIsConsole && GetConsoleMode(error, &mode))
        escapesTaken = SetConsoleMode(error, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

bool StandardErrorTakesEscapes()
{
    return escapesTaken;
}
