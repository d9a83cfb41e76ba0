#pragma once
// The command line's terminal and stop signals, so that no other part of the program needs a
// system header. One variant per system, chosen by the build (terminal_posix.cpp).

// Whether standard input, or standard error, is a terminal rather than a pipe or a file.
bool StandardInputIsTerminal();
bool StandardErrorIsTerminal();

// From now on Ctrl-C and the system's request to terminate (SIGINT and SIGTERM) are noted for
// StopSignalled instead of ending the process; a second one ends it at once with status 130, as
// closing the window does.
void WatchStopSignals();
// Whether a stop signal has arrived since WatchStopSignals.
bool StopSignalled();
