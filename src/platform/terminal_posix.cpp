#include "platform/terminal.h"

#include <csignal>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t stopSignals = 0;

extern "C" void onStopSignal(int)
{
    if (stopSignals > 0)
        _exit(130); // only async-signal-safe calls here: no flushing, no destructors
    stopSignals = 1;
}

} // namespace

bool StandardInputIsTerminal()
{
    return isatty(STDIN_FILENO) != 0;
}

bool StandardErrorIsTerminal()
{
    return isatty(STDERR_FILENO) != 0;
}

void WatchStopSignals()
{
    struct sigaction action { };
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool StopSignalled()
{
    return stopSignals != 0;
}

void PrepareTerminalOutput() { }

bool StandardErrorTakesEscapes()
{
    return StandardErrorIsTerminal();
}
