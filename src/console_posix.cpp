// POSIX console lines and write signals.
#include "console.h"

#include <csignal>
#include <iostream>

void writeConsoleLine(const std::string &line) {
  std::cout << line << std::endl;
}

void ignoreWriteSignals() {
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}
