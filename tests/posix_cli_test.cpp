// End-to-end tests that need POSIX: permissions as an unprivileged user,
// injected read and write errors, and a pipe as input.
#include "cli_fixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// Runs bin2dd as an unprivileged user, so that permissions apply even when
// the tests run as root.
RunResult runUnprivileged(const std::string &arg, const fs::path &dir, RunOptions options = {}) {
  options.dir = dir.string();
  std::vector<std::string> argv = launch(bin2ddPath());
  argv.push_back(arg);
  if (geteuid() == 0)
    argv.insert(argv.begin(), {SETPRIV_EXE, "--reuid=65534", "--regid=65534", "--clear-groups"});
  return runProgram(argv, options);
}

struct PermissionCase {
  const char *title;
  std::function<void(const fs::path &)> setUp;
  std::string message;
};

void PrintTo(const PermissionCase &c, std::ostream *os) {
  *os << c.title;
}

class PermissionTest : public CliTest, public testing::WithParamInterface<PermissionCase> {};

TEST_P(PermissionTest, UnprivilegedUserIsRefused) {
  writeBytes(dir / "x.bin", "12345678");
  fs::permissions(dir / "x.bin",
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  GetParam().setUp(dir);
  const RunResult result = runUnprivileged("x.bin", dir);
  EXPECT_EQ(result.out, banner() + consoleLine(GetParam().message));
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(readBytes(dir / "x.bin"), "12345678");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PermissionTest,
    testing::Values(PermissionCase{"UnreadableInput",
                                   [](const fs::path &d) {
                                     fs::permissions(d / "x.bin", fs::perms::owner_read);
                                     fs::permissions(d, fs::perms::all);
                                   },
                                   "Cannot open file: x.bin"},
                    PermissionCase{"ReadOnlyFolder",
                                   [](const fs::path &d) {
                                     fs::permissions(d,
                                                     fs::perms::owner_write |
                                                         fs::perms::group_write |
                                                         fs::perms::others_write,
                                                     fs::perm_options::remove);
                                   },
                                   "Cannot create output file."},
                    PermissionCase{"ReadOnlyOutputFile",
                                   [](const fs::path &d) {
                                     writeBytes(d / "x.INC", "old");
                                     fs::permissions(d / "x.INC", fs::perms::owner_read |
                                                                      fs::perms::others_read);
                                     fs::permissions(d, fs::perms::all);
                                   },
                                   "Cannot create output file."}),
    titleOf<PermissionCase>);

struct FaultCase {
  const char *title;
  std::vector<std::string> shim; // fault shim settings; empty: no shim
  long long fileSizeLimit;       // negative: none
  bool fullDevice;               // the output is a device that is always full
  std::string message;
  std::string lines; // the include file left behind: whole lines only
};

void PrintTo(const FaultCase &c, std::ostream *os) {
  *os << c.title;
}

class FaultTest : public CliTest, public testing::WithParamInterface<FaultCase> {};

// A failure part way reports itself, exits 1, keeps the whole lines written
// before it, no torn one, and leaves the input as it was.
TEST_P(FaultTest, ReportsTheFailureAndKeepsWholeLines) {
  const FaultCase &c = GetParam();
  const std::string input = "ABCDEFGHIJKLMNOPQRST";
  writeBytes(dir / "x.bin", input);
  RunOptions options;
  options.fileSizeLimit = c.fileSizeLimit;
  std::vector<std::string> argv = launch(bin2ddPath());
  if (!c.shim.empty()) {
    if (std::string(FAULT_SHIM_LIB).empty())
      GTEST_SKIP() << "every program of this build is static, and ignores the fault shim";
    // A fully static program ignores LD_PRELOAD: the shim goes into the same
    // sources linked dynamically.
    argv = launch(fs::absolute(BIN2DD_PRELOADABLE_EXE).string());
    options.env = c.shim;
    options.env.push_back(std::string("LD_PRELOAD=") + FAULT_SHIM_LIB);
    options.env.emplace_back("ASAN_OPTIONS=verify_asan_link_order=0");
  }
  argv.emplace_back("x.bin");
  options.dir = dir.string();
  if (c.fullDevice)
    fs::create_symlink("/dev/full", dir / "x.INC");
  const RunResult result = runProgram(argv, options);
  // No message: the fault is one the program must get past.
  EXPECT_EQ(result.out, banner() + (c.message.empty() ? "" : consoleLine(c.message)));
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, c.message.empty() ? 0 : 1);
  EXPECT_EQ(readBytes(dir / "x.bin"), input);
  if (!c.fullDevice) {
    EXPECT_EQ(readBytes(dir / "x.INC"), c.lines);
  }
}

const std::string kTwoLines = "dd 044434241h\r\ndd 048474645h\r\n";
const std::string kLastLines = "dd 04c4b4a49h\r\ndd 0504f4e4dh\r\ndd 054535251h\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, FaultTest,
    testing::Values(
        FaultCase{
            "ReadErrorAtStart", {"FAIL_READ_AFTER=0"}, -1, false, "Cannot read file: x.bin", ""},
        FaultCase{"ReadErrorAfterTwoGroups",
                  {"FAIL_READ_AFTER=8"},
                  -1,
                  false,
                  "Cannot read file: x.bin",
                  kTwoLines},
        FaultCase{"ReadErrorInsideAGroup",
                  {"FAIL_READ_AFTER=10"},
                  -1,
                  false,
                  "Cannot read file: x.bin",
                  kTwoLines},
        FaultCase{"FullDevice", {}, -1, true, "Cannot write output file.", ""},
        // The disk fills inside the third line: a short write, then ENOSPC.
        FaultCase{"DiskFullInsideALine",
                  {"FAIL_WRITE_AFTER=37"},
                  -1,
                  false,
                  "Cannot write output file.",
                  kTwoLines},
        FaultCase{"DiskFullAtALineEnd",
                  {"FAIL_WRITE_AFTER=30"},
                  -1,
                  false,
                  "Cannot write output file.",
                  kTwoLines},
        FaultCase{"DiskFullBeforeTheFirstLine",
                  {"FAIL_WRITE_AFTER=4"},
                  -1,
                  false,
                  "Cannot write output file.",
                  ""},
        // Writes that store part of their bytes are carried on.
        FaultCase{"WritesOfOneByte", {"WRITE_AT_MOST=1"}, -1, false, "", kTwoLines + kLastLines},
        FaultCase{"WritesOfFourBytes", {"WRITE_AT_MOST=4"}, -1, false, "", kTwoLines + kLastLines},
        // Over the file size limit a write fails with EFBIG instead of
        // ending the process with SIGXFSZ.
        FaultCase{
            "FileSizeLimitInsideALine", {}, 40, false, "Cannot write output file.", kTwoLines}),
    titleOf<FaultCase>);

// A console that cannot be written fails the run, but the file is written.
TEST_F(CliTest, UnwritableConsoleIsAFailureButTheFileIsWritten) {
  writeBytes(dir / "x.bin", "ABCD");
  RunOptions full;
  full.stdoutPath = "/dev/full";
  RunOptions readerGone;
  readerGone.stdoutClosed = true;
  for (const RunOptions &options : {full, readerGone}) {
    fs::remove(dir / "x.INC");
    const RunResult result = run({"x.bin"}, options);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(readBytes(dir / "x.INC"), "dd 044434241h\r\n");
  }
}

// An input over 4 GiB opens and converts on every build, 32-bit ones too.
// The output is a FIFO whose reader takes two lines and goes: the write
// failure that follows shows the run got that far without writing 60 GiB.
TEST_F(CliTest, InputOver4GiBConverts) {
  writeSparse(dir / "big.bin", "ABCDEFGH");
  ASSERT_EQ(mkfifo((dir / "big.INC").c_str(), 0600), 0);
  // Open before the run, so that its open for writing does not wait.
  const int fd = open((dir / "big.INC").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  std::string lines;
  std::atomic<bool> ended{false};
  std::thread reader([&] {
    char chunk[30];
    pollfd ready{fd, POLLIN, 0};
    while (lines.size() < sizeof chunk) {
      // Nothing to read: wait on, unless the run has ended.
      if (poll(&ready, 1, 10) <= 0) {
        if (ended)
          break;
        continue;
      }
      const ssize_t got = read(fd, chunk, sizeof chunk - lines.size());
      if (got <= 0)
        break;
      lines.append(chunk, static_cast<std::size_t>(got));
    }
    close(fd);
  });
  const RunResult result = run({"big.bin"});
  ended = true;
  reader.join();
  EXPECT_EQ(lines, "dd 044434241h\r\ndd 048474645h\r\n");
  EXPECT_EQ(result.out, banner() + consoleLine("Cannot write output file."));
  EXPECT_EQ(result.status, 1);
}

// With standard input closed the input opens as descriptor 0, which is as
// good as any other.
TEST_F(CliTest, StandardInputClosed) {
  fs::permissions(dir, fs::perms::all);
  writeBytes(dir / "x.bin", "ABCD");
  fs::create_directory(dir / "fw.d");
  fs::create_directory(dir / "ro");
  writeBytes(dir / "ro" / "p.INC", "ABCD");
  fs::permissions(dir / "ro" / "p.INC", fs::perms::owner_read | fs::perms::others_read);
  const std::pair<std::string, std::string> cases[] = {
      {"x.bin", ""},
      {"fw.d", "Cannot open file: fw.d"},
      {"ro/p.INC", "Output file is the input file: ro/p.INC"}};
  RunOptions options;
  options.stdinClosed = true;
  for (const auto &[arg, message] : cases) {
    const RunResult result = runUnprivileged(arg, dir, options);
    EXPECT_EQ(result.out, banner() + (message.empty() ? "" : consoleLine(message))) << arg;
    EXPECT_EQ(result.status, message.empty() ? 0 : 1) << arg;
  }
  EXPECT_EQ(readBytes(dir / "x.INC"), "dd 044434241h\r\n");
  // Made for reading and writing, never for running.
  const fs::perms exec = fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
  EXPECT_EQ(fs::status(dir / "x.INC").permissions() & exec, fs::perms::none);
}

// Devices that are not the output: reading one while writing another is
// fine, and an unbound loop device reads as empty.
TEST_F(CliTest, OtherDevicesConvert) {
  fs::create_symlink("/dev/null", dir / "e.bin");
  fs::create_symlink("/dev/zero", dir / "e.INC");
  EXPECT_EQ(run({"e.bin"}).out, banner());
  std::string loop;
  attachOrSkip(dir, {"/sbin/losetup", "-f"}, &loop);
  fs::create_symlink(loop, dir / "u.bin");
  const RunResult result = run({"u.bin"});
  EXPECT_EQ(result.out, banner());
  EXPECT_EQ(readBytes(dir / "u.INC"), "");
}

TEST_F(CliTest, UsageNamesTheProgramAsInvoked) {
  if (emulated())
    GTEST_SKIP() << "the emulator takes argument 0 for itself";
  RunOptions options;
  options.argv0 = "b";
  EXPECT_EQ(run({}, options).out, banner() + consoleLine("Usage: b <filename>"));
}

// Waits until `path` holds `size` bytes; false if that takes over 30 s.
bool waitForSize(const fs::path &path, std::uintmax_t size) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  std::error_code error;
  while (fs::file_size(path, error) != size || error) {
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

TEST_F(CliTest, PipeInputShowsEachLineAsItsBytesArriveAndHoldsItsOutput) {
  ASSERT_EQ(mkfifo((dir / "pipe.bin").c_str(), 0600), 0);
  RunResult result;
  std::thread runner([&] { result = run({"pipe.bin"}); });
  const int fd = openFifoWriter(dir / "pipe.bin");
  if (fd < 0) {
    // The run never opened its input: it ends within its time limit, and
    // the thread must be joined before the test fails.
    runner.join();
    FAIL() << "bin2dd never opened the FIFO: " << result.out;
  }
  EXPECT_EQ(write(fd, "ABCD", 4), 4);
  EXPECT_TRUE(waitForSize(dir / "pipe.INC", 15));
  // While this run holds pipe.INC, a second run into it is refused and
  // leaves it alone.
  writeBytes(dir / "pipe.dat", "WXYZ");
  const RunResult second = run({"pipe.dat"});
  EXPECT_EQ(second.out, banner() + consoleLine("Cannot create output file."));
  EXPECT_EQ(second.status, 1);
  EXPECT_EQ(write(fd, "EFG", 3), 3);
  EXPECT_EQ(write(fd, "HIJ", 3), 3);
  EXPECT_TRUE(waitForSize(dir / "pipe.INC", 30));
  close(fd);
  runner.join();
  EXPECT_EQ(result.out, banner());
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(readBytes(dir / "pipe.INC"), "dd 044434241h\r\ndd 048474645h\r\n");
}

} // namespace

// Every system call the program makes on its files and console fails in
// turn, at every occurrence, with each error it can plausibly meet, through
// strace's fault injection (which reaches the static program itself), over
// an old output, over an output name that links to the input, and with no
// output yet. Each run leaves the input as it was and the output either
// untouched or a whole-line prefix of the right file; a refused run leaves no
// file it made; status 0 comes only with the whole, right output, status 1
// with one message; an interrupted read or file write is retried, and a file
// write that stores nothing fails the run.
TEST_F(CliTest, EveryFailedSystemCallIsReportedAndLosesNothing) {
  if (std::string(STRACE_EXE).empty())
    GTEST_SKIP() << "strace was not found when the build was configured";
  if (emulated())
    GTEST_SKIP() << "under an emulator strace would see the emulator's calls";
  const std::vector<std::pair<std::string, std::vector<std::string>>> faults = {
      {"openat", {"error=EACCES", "error=EIO"}},
      {"read", {"error=EIO", "error=EINTR"}},
      {"write",
       {"error=ENOSPC", "error=EIO", "error=EFBIG", "error=EPIPE", "error=EINTR", "retval=0"}},
      {"%fstat", {"error=EIO", "error=EOVERFLOW"}},
      {"flock", {"error=EAGAIN", "error=ENOLCK"}},
      {"ftruncate", {"error=EIO"}},
      {"close", {"error=EIO"}}};
  const std::string input = "ABCDEFGHIJKL";
  const std::string whole = "dd 044434241h\r\ndd 048474645h\r\ndd 04c4b4a49h\r\n";
  const std::string old(100, 'z');
  for (const std::string before : {"old output", "linked", "no output"}) {
    const bool linked = before == "linked";
    const bool fresh = before == "no output";
    const auto setUp = [&] {
      fs::remove(dir / "x.INC");
      writeBytes(dir / "x.bin", input);
      if (linked)
        fs::create_symlink("x.bin", dir / "x.INC");
      else if (!fresh)
        writeBytes(dir / "x.INC", old);
    };
    const auto traced = [&](const std::string &call, const std::string &inject) {
      setUp();
      std::vector<std::string> argv{STRACE_EXE, "-o", "trace.log", "-e", "trace=" + call};
      if (!inject.empty())
        argv.insert(argv.end(), {"-e", "inject=" + call + ":" + inject});
      argv.insert(argv.end(), {bin2ddPath(), "x.bin"});
      return runTool(argv);
    };
    for (const auto &[call, errors] : faults) {
      const RunResult plain = traced(call, "");
      if (plain.status != (linked ? 1 : 0))
        GTEST_SKIP() << "bin2dd does not run under strace here: " << plain.err;
      std::ifstream log(dir / "trace.log");
      int calls = 0;
      for (std::string line; std::getline(log, line);)
        calls += line.rfind("+++", 0) != 0 && line.rfind("---", 0) != 0 ? 1 : 0;
      for (int when = 1; when <= calls; ++when) {
        for (const std::string &error : errors) {
          const RunResult result = traced(call, error + ":when=" + std::to_string(when));
          const std::string trace = readBytes(dir / "trace.log");
          const std::string where =
              call + " #" + std::to_string(when) + " " + error + ", " + before + "\n" + trace;
          const std::size_t injected = trace.rfind('\n', trace.find("(INJECTED)")) + 1;
          const bool console = trace.compare(injected, 9, "write(1, ") == 0;
          const std::string output = readBytes(dir / "x.INC");
          EXPECT_EQ(readBytes(dir / "x.bin"), input) << where;
          if (!linked) {
            EXPECT_TRUE((output == old && !fresh) ||
                        (output.size() % 15 == 0 && whole.rfind(output, 0) == 0))
                << where;
          }
          if (fresh && result.out == banner() + consoleLine("Cannot create output file.")) {
            EXPECT_FALSE(fs::exists(dir / "x.INC")) << where;
          }
          if (result.status == 0) {
            EXPECT_EQ(output, whole) << where;
            EXPECT_EQ(result.out, banner()) << where;
          } else {
            EXPECT_EQ(result.status, 1) << where;
            // One message after the banner, unless the console itself failed.
            EXPECT_TRUE(console ||
                        (result.out.rfind(banner(), 0) == 0 &&
                         result.out.find('\n', banner().size()) + 1 == result.out.size()))
                << where << result.out;
          }
          if (error == "error=EINTR" && !console && !linked) {
            EXPECT_EQ(result.status, 0) << where;
          }
          if (error == "retval=0" && !console && !linked) {
            EXPECT_EQ(result.out, banner() + consoleLine("Cannot write output file.")) << where;
          }
        }
      }
    }
  }
}
