// End-to-end tests: the built program run on real files in a temporary folder.
#include "cli_fixture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// Runs bin2dd as an unprivileged user, so that permissions apply even when
// the tests run as root.
RunResult runUnprivileged(const std::string &arg, const fs::path &dir) {
  RunOptions options;
  options.dir = dir.string();
  if (geteuid() != 0)
    return runProgram({BIN2DD_EXE, arg}, options);
  return runProgram(
      {SETPRIV_EXE, "--reuid=65534", "--regid=65534", "--clear-groups", BIN2DD_EXE, arg}, options);
}

TEST_F(CliTest, WrongArgumentCountPrintsUsage) {
  writeBytes(dir / "a.bin", "abcd");
  const std::vector<std::vector<std::string>> argLists = {{}, {"a.bin", "b.bin"}, {"a.bin", "a.bin"}};
  for (const auto &args : argLists) {
    const RunResult result = run(args);
    EXPECT_EQ(result.out, banner() + consoleLine(std::string("Usage: ") + BIN2DD_EXE + " <filename>")) << args.size();
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(fileCount(), 1U);
  }
}

struct RefusalCase {
  const char *title;
  std::function<void(const fs::path &)> setUp;
  std::string arg;
  std::string message;
};

void PrintTo(const RefusalCase &c, std::ostream *os) { *os << c.title; }

class RefusalTest : public CliTest, public testing::WithParamInterface<RefusalCase> {};

// Each refusal prints the banner and one line, exits 1, and leaves the
// folder's files as they were.
TEST_P(RefusalTest, PrintsOneLineAndTouchesNothing) {
  const RefusalCase &c = GetParam();
  c.setUp(dir);
  std::vector<std::pair<fs::path, std::string>> before;
  for (const auto &entry : fs::recursive_directory_iterator(dir))
    if (fs::is_regular_file(entry.symlink_status()))
      before.emplace_back(entry.path(), readBytes(entry.path()));
  const std::size_t count = fileCount();

  const RunResult result = run({c.arg});
  EXPECT_EQ(result.out, banner() + consoleLine(c.message));
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(fileCount(), count);
  for (const auto &[path, bytes] : before)
    EXPECT_EQ(readBytes(path), bytes) << path;
}

void nothing(const fs::path &) {}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusalTest,
    testing::Values(
        RefusalCase{"Missing", nothing, "missing.bin", "Cannot open file: missing.bin"},
        RefusalCase{"OptionLike", nothing, "-h", "Cannot open file: -h"},
        RefusalCase{"SlashOption", nothing, "/?", "Cannot open file: /?"},
        RefusalCase{"Empty", nothing, "", "Cannot open file: "},
        RefusalCase{"Directory", [](const fs::path &d) { fs::create_directory(d / "fw.d"); },
                    "fw.d", "Cannot open file: fw.d"},
        RefusalCase{"OutputIsDirectory",
                    [](const fs::path &d) {
                      writeBytes(d / "x.bin", "abcdefgh");
                      fs::create_directory(d / "x.INC");
                    },
                    "x.bin", "Cannot create output file."},
        RefusalCase{"InputNamedInc", [](const fs::path &d) { writeBytes(d / "p.INC", "12345678"); },
                    "p.INC", "Output file is the input file: p.INC"},
        RefusalCase{"OutputSymlinkToInput",
                    [](const fs::path &d) {
                      writeBytes(d / "x.bin", "12345678");
                      fs::create_symlink("x.bin", d / "x.INC");
                    },
                    "x.bin", "Output file is the input file: x.INC"},
        RefusalCase{"OutputHardLinkToInput",
                    [](const fs::path &d) {
                      writeBytes(d / "x.bin", "12345678");
                      fs::create_hard_link(d / "x.bin", d / "x.INC");
                    },
                    "x.bin", "Output file is the input file: x.INC"},
        RefusalCase{"InputThroughDirectoryLink",
                    [](const fs::path &d) {
                      fs::create_directory(d / "real");
                      writeBytes(d / "real" / "p.INC", "12345678");
                      fs::create_directory_symlink("real", d / "alias");
                    },
                    "alias/p.INC", "Output file is the input file: alias/p.INC"}),
    titleOf<RefusalCase>);

struct PermissionCase {
  const char *title;
  std::function<void(const fs::path &)> setUp;
  std::string message;
};

void PrintTo(const PermissionCase &c, std::ostream *os) { *os << c.title; }

class PermissionTest : public CliTest, public testing::WithParamInterface<PermissionCase> {};

TEST_P(PermissionTest, UnprivilegedUserIsRefused) {
  writeBytes(dir / "x.bin", "12345678");
  fs::permissions(dir / "x.bin", fs::perms::owner_read | fs::perms::group_read |
                                     fs::perms::others_read);
  GetParam().setUp(dir);
  const RunResult result = runUnprivileged("x.bin", dir);
  EXPECT_EQ(result.out, banner() + consoleLine(GetParam().message));
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(readBytes(dir / "x.bin"), "12345678");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PermissionTest,
    testing::Values(
        PermissionCase{"UnreadableInput",
                       [](const fs::path &d) {
                         fs::permissions(d / "x.bin", fs::perms::owner_read);
                         fs::permissions(d, fs::perms::all);
                       },
                       "Cannot open file: x.bin"},
        PermissionCase{"ReadOnlyFolder",
                       [](const fs::path &d) {
                         fs::permissions(d, fs::perms::owner_write | fs::perms::group_write |
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

struct ConversionCase {
  const char *title;
  std::string bytes;
  std::string lines;
};

void PrintTo(const ConversionCase &c, std::ostream *os) { *os << c.title; }

class ConversionTest : public CliTest, public testing::WithParamInterface<ConversionCase> {};

TEST_P(ConversionTest, WritesIncludeFileByteForByte) {
  writeBytes(dir / "patch.bin", GetParam().bytes);
  const RunResult result = run({"patch.bin"});
  EXPECT_EQ(result.out, banner());
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(readBytes(dir / "patch.INC"), GetParam().lines);
  EXPECT_EQ(readBytes(dir / "patch.bin"), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConversionTest,
    testing::Values(
        ConversionCase{"Empty", "", ""}, ConversionCase{"ThreeBytes", "\x01\x02\x03", ""},
        ConversionCase{"FiveBytes", "\x78\x56\x34\x12\x99", "dd 012345678h\r\n"},
        ConversionCase{"LineEndBytes", std::string("\x0d\x0a\x1a\x00", 4), "dd 0001a0a0dh\r\n"},
        ConversionCase{"TwelveBytes",
                       std::string("\x01\0\0\0\0\0\0\xa0\xff\xff\xff\xff", 12),
                       "dd 000000001h\r\ndd 0a0000000h\r\ndd 0ffffffffh\r\n"},
        ConversionCase{"EightZeros", std::string(8, '\0'), "dd 000000000h\r\ndd 000000000h\r\n"}),
    titleOf<ConversionCase>);

struct NamingCase {
  const char *title;
  std::string input;  // created relative to the folder
  std::string arg;    // as passed on the command line
  std::string output; // expected relative to the folder
};

void PrintTo(const NamingCase &c, std::ostream *os) { *os << c.title; }

class NamingTest : public CliTest, public testing::WithParamInterface<NamingCase> {};

TEST_P(NamingTest, WritesOutputBesideTheCutName) {
  const NamingCase &c = GetParam();
  fs::create_directories((dir / c.input).parent_path());
  writeBytes(dir / c.input, "ABCD");
  const std::string arg = c.arg.empty() ? (dir / c.input).string() : c.arg;
  const RunResult result = run({arg});
  EXPECT_EQ(result.out, banner());
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(readBytes(dir / c.output), "dd 044434241h\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NamingTest,
    testing::Values(NamingCase{"LastExtension", "image.old.bin", "image.old.bin", "image.old.INC"},
                    NamingCase{"NoDot", "patch", "patch", "patch.INC"},
                    NamingCase{"TrailingDot", "patch.", "patch.", "patch.INC"},
                    NamingCase{"DotInDirectory", "fw.d/patch", "fw.d/patch", "fw.INC"},
                    NamingCase{"OnlyExtension", ".bin", ".bin", ".INC"},
                    NamingCase{"MixedCase", "PATCH.Bin", "PATCH.Bin", "PATCH.INC"},
                    NamingCase{"LowerCaseInc", "p.inc", "p.inc", "p.INC"},
                    NamingCase{"Subfolder", "sub/x.dat", "sub/x.dat", "sub/x.INC"},
                    NamingCase{"AbsolutePath", "abs/x.bin", "", "abs/x.INC"}),
    titleOf<NamingCase>);

TEST_F(CliTest, OverwritesEarlierOutputWithIdenticalContent) {
  writeBytes(dir / "x.bin", "ABCDEFGH");
  writeBytes(dir / "x.INC", std::string(100, 'z'));
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(run({"x.bin"}).status, 0);
    EXPECT_EQ(readBytes(dir / "x.INC"), "dd 044434241h\r\ndd 048474645h\r\n");
  }
}

TEST_F(CliTest, FullDeviceIsAWriteError) {
  writeBytes(dir / "x.bin", "ABCDEFGH");
  fs::create_symlink("/dev/full", dir / "x.INC");
  const RunResult result = run({"x.bin"});
  EXPECT_EQ(result.out, banner() + consoleLine("Cannot write output file."));
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(readBytes(dir / "x.bin"), "ABCDEFGH");
}

TEST_F(CliTest, ReadErrorMidFileKeepsEarlierLines) {
  writeBytes(dir / "x.bin", "ABCDEFGHIJKLMNOPQRST");
  RunOptions options;
  options.env = {std::string("LD_PRELOAD=") + FAIL_READ_LIB, "FAIL_READ_AFTER=8",
                 "ASAN_OPTIONS=verify_asan_link_order=0"};
  const RunResult result = run({"x.bin"}, options);
  EXPECT_EQ(result.out, banner() + consoleLine("Cannot read file: x.bin"));
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(readBytes(dir / "x.INC"), "dd 044434241h\r\ndd 048474645h\r\n");
}

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
