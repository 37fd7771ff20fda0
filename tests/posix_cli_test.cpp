// End-to-end tests that need POSIX: permissions as an unprivileged user,
// injected read and write errors, and a pipe as input.
#include "cli_fixture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// Runs bin2dd as an unprivileged user, so that permissions apply even when
// the tests run as root.
RunResult runUnprivileged(const std::string &arg, const fs::path &dir) {
  RunOptions options;
  options.dir = dir.string();
  if (geteuid() != 0)
    return runProgram({bin2ddPath(), arg}, options);
  return runProgram(
      {SETPRIV_EXE, "--reuid=65534", "--regid=65534", "--clear-groups", bin2ddPath(), arg},
      options);
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
  const char *failReadAfter; // where reads of the input fail; null: they do not
  bool fullDevice;           // the output is a device that is always full
  std::string message;
  std::string lines; // the include file left behind
};

void PrintTo(const FaultCase &c, std::ostream *os) {
  *os << c.title;
}

class FaultTest : public CliTest, public testing::WithParamInterface<FaultCase> {};

// A failure part way reports itself, exits 1, keeps the lines written before
// it and leaves the input as it was.
TEST_P(FaultTest, ReportsTheFailureAndKeepsEarlierLines) {
  const FaultCase &c = GetParam();
  const std::string input = "ABCDEFGHIJKLMNOPQRST";
  writeBytes(dir / "x.bin", input);
  RunOptions options;
  if (c.failReadAfter != nullptr)
    options.env = {std::string("LD_PRELOAD=") + FAIL_READ_LIB,
                   std::string("FAIL_READ_AFTER=") + c.failReadAfter,
                   "ASAN_OPTIONS=verify_asan_link_order=0"};
  if (c.fullDevice)
    fs::create_symlink("/dev/full", dir / "x.INC");
  const RunResult result = run({"x.bin"}, options);
  EXPECT_EQ(result.out, banner() + consoleLine(c.message));
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(readBytes(dir / "x.bin"), input);
  if (!c.fullDevice) {
    EXPECT_EQ(readBytes(dir / "x.INC"), c.lines);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FaultTest,
    testing::Values(FaultCase{"ReadErrorAtStart", "0", false, "Cannot read file: x.bin", ""},
                    FaultCase{"ReadErrorAfterTwoGroups", "8", false, "Cannot read file: x.bin",
                              "dd 044434241h\r\ndd 048474645h\r\n"},
                    FaultCase{"ReadErrorInsideAGroup", "10", false, "Cannot read file: x.bin",
                              "dd 044434241h\r\ndd 048474645h\r\n"},
                    FaultCase{"FullDevice", nullptr, true, "Cannot write output file.", ""}),
    titleOf<FaultCase>);

TEST_F(CliTest, UnwritableConsoleIsAFailure) {
  writeBytes(dir / "x.bin", "ABCD");
  RunOptions options;
  options.stdoutPath = "/dev/full";
  const RunResult result = run({"x.bin"}, options);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 1);
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

// Opens the FIFO for writing once a reader has it open; -1 after 30 s.
int openFifoWriter(const fs::path &path) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  for (;;) {
    const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0 || errno != ENXIO || std::chrono::steady_clock::now() > deadline)
      return fd;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

TEST_F(CliTest, PipeInputShowsEachLineAsItsBytesArrive) {
  ASSERT_EQ(mkfifo((dir / "pipe.bin").c_str(), 0600), 0);
  RunResult result;
  std::thread runner([&] { result = run({"pipe.bin"}); });
  const int fd = openFifoWriter(dir / "pipe.bin");
  ASSERT_GE(fd, 0);
  EXPECT_EQ(write(fd, "ABCD", 4), 4);
  EXPECT_TRUE(waitForSize(dir / "pipe.INC", 15));
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
