// The process's console lines and the signals that its writes can raise, one
// implementation per platform (console_posix.cpp, console_win32.cpp).
#pragma once

#include <string>

// Writes `line` and a line end to standard output and flushes it. In a
// Windows console window the line goes out as UTF-16, so that a name in any
// script shows as itself whatever the console's code page; to a file, a pipe
// or any POSIX terminal the bytes go out unchanged. A failure leaves
// std::cout bad, as a failed stream write does.
void writeConsoleLine(const std::string &line);

// Makes a write that the system refuses fail with an error instead of ending
// the process (POSIX: SIGPIPE for a reader that went away, SIGXFSZ for a file
// over the size limit), so that the run can clean up and report it.
void ignoreWriteSignals();
