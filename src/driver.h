// Command-line driver: the program's whole control flow, console and exit status.
#pragma once

// Runs one conversion for the process arguments: prints the banner, converts
// the file named by argv[1] into the ".INC" file beside it and reports the
// outcome on standard output. Returns the exit status: 0 on success, 1 on any
// failure (usage, input, output, read or write error, or a console that could
// not be written).
int runConverter(int argc, const char *const argv[]);
