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

// Readies the console the command line writes to: on Windows its code page becomes UTF-8, what the
// program writes, until the process ends, and its escape sequences are switched on where it takes
// them. Elsewhere the terminal already reads UTF-8.
void PrepareTerminalOutput();
// Whether standard error takes the escape sequence that clears the rest of a line.
bool StandardErrorTakesEscapes();
