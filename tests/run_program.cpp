// Test harness: runs a program as a child process and captures what it printed.
#include "run_program.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Reads both pipes to their end without letting either fill up.
void drain(int outFd, int errFd, std::string &out, std::string &err) {
  pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
  std::string *sinks[2] = {&out, &err};
  int open = 2;
  char chunk[4096];
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR)
        continue;
      return;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0)
        continue;
      const ssize_t got = read(fds[i].fd, chunk, sizeof chunk);
      if (got > 0) {
        sinks[i]->append(chunk, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
}

} // namespace

RunResult runProgram(const std::vector<std::string> &argv, const RunOptions &options) {
  RunResult result;
  int outPipe[2];
  int errPipe[2];
  if (pipe(outPipe) != 0 || pipe(errPipe) != 0)
    return result;

  std::vector<char *> args;
  for (const std::string &arg : argv)
    args.push_back(const_cast<char *>(arg.c_str()));
  args.push_back(nullptr);

  const pid_t pid = fork();
  if (pid == 0) {
    int outFd = outPipe[1];
    if (!options.stdoutPath.empty())
      outFd = open(options.stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int nullFd = open("/dev/null", O_RDONLY);
    if (outFd < 0 || nullFd < 0 || dup2(nullFd, 0) < 0 || dup2(outFd, 1) < 0 ||
        dup2(errPipe[1], 2) < 0)
      _exit(126);
    close(outPipe[0]);
    close(errPipe[0]);
    if (!options.dir.empty() && chdir(options.dir.c_str()) != 0)
      _exit(126);
    for (const std::string &entry : options.env)
      putenv(const_cast<char *>(entry.c_str()));
    execv(args[0], args.data());
    _exit(127);
  }
  close(outPipe[1]);
  close(errPipe[1]);
  if (pid < 0) {
    close(outPipe[0]);
    close(errPipe[0]);
    return result;
  }
  drain(outPipe[0], errPipe[0], result.out, result.err);
  int wstatus = 0;
  while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(wstatus))
    result.status = WEXITSTATUS(wstatus);
  return result;
}
