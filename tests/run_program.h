// Test harness: runs a program as a child process and captures what it printed.
#pragma once

#include <string>
#include <vector>

struct RunResult {
  int status = -1; // the exit status; -1 when the program did not exit normally
  std::string out; // standard output, byte for byte
  std::string err; // standard error, byte for byte
};

struct RunOptions {
  std::string dir;              // working directory of the child; empty: inherit
  std::vector<std::string> env; // "NAME=VALUE" entries added to the environment
  std::string stdoutPath;       // when set, standard output goes to this file
  bool stdoutClosed = false;    // standard output is a pipe whose reader went away (POSIX)
  bool stdinClosed = false;     // standard input is closed: the next file opened gets 0 (POSIX)
  std::string argv0;            // when set, argument 0 in place of the program's path (POSIX)
  long long fileSizeLimit = -1; // when not negative, the largest file it may write (POSIX)
  unsigned timeoutSeconds = 60; // it is killed after this long, so a hang fails the test
};

// Runs argv[0] (a path, not looked up in PATH) with the given arguments,
// standard input closed to /dev/null, and waits for it to end. A program
// killed for its timeout (or by any signal) gets status -1.
RunResult runProgram(const std::vector<std::string> &argv, const RunOptions &options = {});
