// Test harness: runs a program as a child process and captures what it printed.
#include "run_program.h"

#ifdef _WIN32

#include <functional>
#include <thread>
#include <windows.h>

namespace {

// Quotes one argument so that the C runtime's parser reads it back unchanged.
std::string quoteArgument(const std::string &arg) {
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos)
    return arg;
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, '\\');
  return quoted + "\"";
}

// Arguments and paths are UTF-8, so that a name in any script reaches the
// child whatever the system's code page.
std::wstring widen(const std::string &text) {
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

void readAll(HANDLE pipe, std::string &sink) {
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(pipe, chunk, sizeof chunk, &got, nullptr) && got > 0)
    sink.append(chunk, got);
  CloseHandle(pipe);
}

// Sets the added variables in this process, so that the child inherits them,
// and puts the old values back when it goes.
class EnvironmentScope {
public:
  explicit EnvironmentScope(const std::vector<std::string> &entries) {
    for (const std::string &entry : entries) {
      const std::string name = entry.substr(0, entry.find('='));
      char old[32768];
      const DWORD length = GetEnvironmentVariableA(name.c_str(), old, sizeof old);
      saved_.push_back({name, length > 0 ? std::string(old, length) : std::string(), length > 0});
      SetEnvironmentVariableA(name.c_str(), entry.substr(name.size() + 1).c_str());
    }
  }
  ~EnvironmentScope() {
    for (const Saved &s : saved_)
      SetEnvironmentVariableA(s.name.c_str(), s.had ? s.value.c_str() : nullptr);
  }
  EnvironmentScope(const EnvironmentScope &) = delete;
  EnvironmentScope &operator=(const EnvironmentScope &) = delete;

private:
  struct Saved {
    std::string name;
    std::string value;
    bool had;
  };
  std::vector<Saved> saved_;
};

} // namespace

RunResult runProgram(const std::vector<std::string> &argv, const RunOptions &options) {
  RunResult result;
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE outRead = nullptr;
  HANDLE outWrite = nullptr;
  HANDLE errRead = nullptr;
  HANDLE errWrite = nullptr;
  if (!CreatePipe(&outRead, &outWrite, &inherit, 0) ||
      !CreatePipe(&errRead, &errWrite, &inherit, 0))
    return result;
  SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
  HANDLE input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
  HANDLE output = outWrite;
  if (!options.stdoutPath.empty())
    output = CreateFileA(options.stdoutPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                         CREATE_ALWAYS, 0, nullptr);

  std::string commandLine;
  for (const std::string &arg : argv)
    commandLine += (commandLine.empty() ? "" : " ") + quoteArgument(arg);
  std::wstring wideCommandLine = widen(commandLine);
  const std::wstring wideDir = widen(options.dir);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = errWrite;
  PROCESS_INFORMATION process{};
  BOOL started = FALSE;
  {
    const EnvironmentScope environment(options.env);
    started = CreateProcessW(nullptr, wideCommandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                             wideDir.empty() ? nullptr : wideDir.c_str(), &startup, &process);
  }
  CloseHandle(outWrite);
  CloseHandle(errWrite);
  CloseHandle(input);
  if (output != outWrite)
    CloseHandle(output);
  std::thread errReader(readAll, errRead, std::ref(result.err));
  std::thread outReader(readAll, outRead, std::ref(result.out));
  if (started) {
    if (WaitForSingleObject(process.hProcess, options.timeoutSeconds * 1000U) != WAIT_OBJECT_0) {
      TerminateProcess(process.hProcess, 1);
    } else {
      DWORD code = 0;
      if (GetExitCodeProcess(process.hProcess, &code))
        result.status = static_cast<int>(code);
    }
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  outReader.join();
  errReader.join();
  return result;
}

#else

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
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
  const char *path = args[0];
  if (!options.argv0.empty())
    args[0] = const_cast<char *>(options.argv0.c_str());

  const pid_t pid = fork();
  if (pid == 0) {
    int outFd = outPipe[1];
    int gone[2] = {-1, -1};
    if (!options.stdoutPath.empty())
      outFd = open(options.stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    else if (options.stdoutClosed)
      outFd = pipe(gone) == 0 && close(gone[0]) == 0 ? gone[1] : -1;
    const int nullFd = open("/dev/null", O_RDONLY);
    if (outFd < 0 || nullFd < 0 || dup2(nullFd, 0) < 0 || dup2(outFd, 1) < 0 ||
        dup2(errPipe[1], 2) < 0 || (options.stdinClosed && close(0) != 0))
      _exit(126);
    // Only 1 and 2 lead to the pipes, so that a daemon the program leaves
    // behind (bindfs) does not keep them open.
    for (const int fd : {outPipe[0], errPipe[0], outPipe[1], errPipe[1], outFd, nullFd})
      if (fd > 2)
        close(fd);
    if (!options.dir.empty() && chdir(options.dir.c_str()) != 0)
      _exit(126);
    for (const std::string &entry : options.env)
      putenv(const_cast<char *>(entry.c_str()));
    const rlimit size{static_cast<rlim_t>(options.fileSizeLimit),
                      static_cast<rlim_t>(options.fileSizeLimit)};
    if (options.fileSizeLimit >= 0 && setrlimit(RLIMIT_FSIZE, &size) != 0)
      _exit(126);
    // The timer outlives exec and its signal ends the program.
    alarm(options.timeoutSeconds);
    execv(path, args.data());
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

#endif
