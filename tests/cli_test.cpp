// End-to-end tests: the built program run on real files in a temporary folder.
#include "cli_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>
#endif

namespace {

TEST_F(CliTest, WrongArgumentCountPrintsUsage) {
  writeBytes(dir / "a.bin", "abcd");
  const std::vector<std::vector<std::string>> argLists = {
      {}, {"a.bin", "b.bin"}, {"a.bin", "a.bin"}};
  for (const auto &args : argLists) {
    const RunResult result = run(args);
    EXPECT_EQ(result.out, banner() + consoleLine("Usage: " + bin2ddPath() + " <filename>"))
        << args.size();
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(fileCount(), 1U);
  }
}

// A file's size and first bytes, enough to show that a run changed it
// without reading gigabytes.
std::string fingerprint(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::string head(4096, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(in.gcount()));
  return std::to_string(fs::file_size(path)) + ":" + head;
}

struct RefusalCase {
  const char *title;
  std::function<void(const fs::path &)> setUp;
  std::string arg;
  std::string message;
};

void PrintTo(const RefusalCase &c, std::ostream *os) {
  *os << c.title;
}

class RefusalTest : public CliTest, public testing::WithParamInterface<RefusalCase> {};

// Each refusal prints the banner and one line, exits 1, and leaves the
// folder's files as they were.
TEST_P(RefusalTest, PrintsOneLineAndTouchesNothing) {
  const RefusalCase &c = GetParam();
  c.setUp(dir);
  if (IsSkipped())
    return;
  std::vector<std::pair<fs::path, std::string>> before;
  for (const auto &entry : fs::recursive_directory_iterator(dir))
    if (fs::is_regular_file(entry.symlink_status()))
      before.emplace_back(entry.path(), fingerprint(entry.path()));
  const std::size_t count = fileCount();

  const RunResult result = run({c.arg});
  EXPECT_EQ(result.out, banner() + consoleLine(c.message));
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(fileCount(), count);
  for (const auto &[path, bytes] : before)
    EXPECT_EQ(fingerprint(path), bytes) << path;
}

void nothing(const fs::path &) {}

std::vector<RefusalCase> refusalCases() {
  std::vector<RefusalCase> cases = {

      RefusalCase{"Missing", nothing, "missing.bin", "Cannot open file: missing.bin"},
      RefusalCase{"OptionLike", nothing, "-h", "Cannot open file: -h"},
      RefusalCase{"SlashOption", nothing, "/?", "Cannot open file: /?"},
      RefusalCase{"Empty", nothing, "", "Cannot open file: "},
      RefusalCase{"Directory", [](const fs::path &d) { fs::create_directory(d / "fw.d"); }, "fw.d",
                  "Cannot open file: fw.d"},
      RefusalCase{"OutputIsDirectory",
                  [](const fs::path &d) {
                    writeBytes(d / "x.bin", "abcdefgh");
                    fs::create_directory(d / "x.INC");
                  },
                  "x.bin", "Cannot create output file."},
      RefusalCase{"InputNamedInc", [](const fs::path &d) { writeBytes(d / "p.INC", "12345678"); },
                  "p.INC", "Output file is the input file: p.INC"},
      RefusalCase{"InputNamedIncOver4GiB",
                  [](const fs::path &d) { writeSparse(d / "p.INC", "KEEP"); }, "p.INC",
                  "Output file is the input file: p.INC"}};
#ifdef _WIN32
  const std::vector<RefusalCase> windowsCases = {
      // The file system ignores letter case: p.inc and p.INC are one file.
      RefusalCase{"InputNamedIncInLowerCase",
                  [](const fs::path &d) { writeBytes(d / "p.inc", "12345678"); }, "p.inc",
                  "Output file is the input file: p.INC"},
      // Names outside the system's code page, in UTF-8 on the command line.
      RefusalCase{"CurlyApostrophe",
                  [](const fs::path &d) { writeBytes(d / fs::u8path("Bob’s.INC"), "ABCDEFGH"); },
                  "Bob’s.INC", "Output file is the input file: Bob’s.INC"},
      RefusalCase{"JapaneseLowerCase",
                  [](const fs::path &d) { writeBytes(d / fs::u8path("日本.inc"), "ABCDEFGH"); },
                  "日本.inc", "Output file is the input file: 日本.INC"},
      // The C runtime reports these extensions as executable; a link to one
      // is the same file all the same.
      RefusalCase{"HardLinkToCom",
                  [](const fs::path &d) {
                    writeBytes(d / "image.com", "ABCDEFGH");
                    fs::create_hard_link(d / "image.com", d / "image.INC");
                  },
                  "image.com", "Output file is the input file: image.INC"},
      // A reserved name opens a device in any folder, whatever its
      // extension: NUL.INC would swallow the output in silence.
      RefusalCase{"ReservedNameNul", nothing, "NUL", "Cannot create output file."},
      // The output cannot be opened for writing, yet it is the input.
      RefusalCase{"ReadOnlyIncInput",
                  [](const fs::path &d) {
                    writeBytes(d / "p.INC", "ABCDEFGH");
                    fs::permissions(d / "p.INC", fs::perms::owner_read);
                  },
                  "p.INC", "Output file is the input file: p.INC"}};
  cases.insert(cases.end(), windowsCases.begin(), windowsCases.end());
#else
  const std::vector<RefusalCase> linkCases = {
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
                  "alias/p.INC", "Output file is the input file: alias/p.INC"},
      // Inputs without end: reading them while writing the same file or
      // device would never stop (the run is killed after a timeout).
      RefusalCase{"SymlinkToDevZero",
                  [](const fs::path &d) { fs::create_symlink("/dev/zero", d / "z.INC"); }, "z.INC",
                  "Output file is the input file: z.INC"},
      RefusalCase{"TwoNodesOfOneDevice",
                  [](const fs::path &d) {
                    for (const char *name : {"z.bin", "z.INC"})
                      if (mknod((d / name).c_str(), S_IFCHR | 0600, makedev(1, 5)) != 0)
                        GTEST_SKIP() << "cannot make device nodes here: " << std::strerror(errno);
                    const int fd = open((d / "z.bin").c_str(), O_RDONLY | O_CLOEXEC);
                    if (fd < 0)
                      GTEST_SKIP() << "device nodes cannot be opened here (nodev)";
                    close(fd);
                  },
                  "z.bin", "Output file is the input file: z.INC"},
      RefusalCase{"FifoNamedInc",
                  [](const fs::path &d) {
                    ASSERT_EQ(mkfifo((d / "p.INC").c_str(), 0600), 0);
                    // A writer that comes and goes, so that the program's
                    // open for reading returns.
                    std::thread([fifo = d / "p.INC"] {
                      const int fd = openFifoWriter(fifo);
                      if (fd >= 0)
                        close(fd);
                    }).detach();
                  },
                  "p.INC", "Output file is the input file: p.INC"},
      // One file reached through two mounts: another device number, and an
      // inode number that says nothing across devices.
      RefusalCase{"OverlayMount",
                  [](const fs::path &d) {
                    for (const char *sub : {"L", "U", "W", "M"})
                      fs::create_directory(d / sub);
                    writeBytes(d / "L" / "x.bin", "ABCDEFGH");
                    attachOrSkip(d, {"/bin/mount", "-t", "overlay", "o", "-o",
                                     "lowerdir=L,upperdir=U,workdir=W", "M"});
                    fs::create_symlink("../L/x.bin", d / "M" / "x.INC");
                  },
                  "M/x.bin", "Output file is the input file: M/x.INC"},
      RefusalCase{"FuseView",
                  [](const fs::path &d) {
                    fs::create_directory(d / "real");
                    fs::create_directory(d / "view");
                    writeBytes(d / "real" / "x.bin", "ABCDEFGH");
                    attachOrSkip(d, {"/usr/bin/bindfs", "real", "view"});
                    fs::create_symlink(d / "real" / "x.bin", d / "real" / "x.INC");
                  },
                  "view/x.bin", "Output file is the input file: view/x.INC"},
      // Views that report other times, or a size and times cached before
      // the file grew: only the bytes show that they are one file.
      RefusalCase{"FuseViewWithRewrittenTimes",
                  [](const fs::path &d) {
                    fs::create_directory(d / "real");
                    fs::create_directory(d / "view");
                    writeBytes(d / "real" / "x.bin", std::string(4096, 'A'));
                    const fs::path real = d / "real" / "x.bin";
                    fs::last_write_time(real, fs::last_write_time(real) - std::chrono::hours(24));
                    attachOrSkip(d, {"/usr/bin/bindfs", "--ctime-from-mtime", "real", "view"});
                    fs::create_symlink("view/x.bin", d / "x.INC");
                    fs::create_symlink("real/x.bin", d / "x.bin");
                  },
                  "x.bin", "Output file is the input file: x.INC"},
      RefusalCase{
          "FuseViewWithStaleSize",
          [](const fs::path &d) {
            fs::create_directory(d / "real");
            fs::create_directory(d / "view");
            writeBytes(d / "real" / "x.bin", std::string(4096, 'A'));
            // Read-only, so that reading does not expire what it cached.
            attachOrSkip(d, {"/usr/bin/bindfs", "-r", "-o", "attr_timeout=600", "real", "view"});
            if (testing::Test::IsSkipped())
              return;
            ASSERT_EQ(fs::file_size(d / "view" / "x.bin"), 4096U); // cached for 600 s
            std::ofstream(d / "real" / "x.bin", std::ios::app) << "ABCD";
            fs::create_symlink("real/x.bin", d / "x.INC");
            fs::create_symlink("view/x.bin", d / "x.bin");
          },
          "x.bin", "Output file is the input file: x.INC"},
      // A disk holding the input's file system: writing it would destroy both.
      RefusalCase{"BlockDeviceUnderInput",
                  [](const fs::path &d) {
                    fs::create_directory(d / "mnt");
                    writeBytes(d / "disk.img", "");
                    fs::resize_file(d / "disk.img", 4 << 20);
                    std::string loop;
                    attachOrSkip(d, {"/sbin/mkfs.ext4", "-q", "disk.img"});
                    attachOrSkip(d, {"/sbin/losetup", "-f", "--show", "disk.img"}, &loop);
                    attachOrSkip(d, {"/bin/mount", loop, "mnt"});
                    writeBytes(d / "mnt" / "x.bin", std::string(4096, 'A'));
                    fs::create_symlink("mnt/x.bin", d / "x.bin");
                    fs::create_symlink(loop, d / "x.INC");
                    sync();
                  },
                  "x.bin", "Cannot create output file."},
      RefusalCase{"LoopDeviceOverInput",
                  [](const fs::path &d) {
                    writeBytes(d / "x.bin", std::string(4096, 'A'));
                    std::string loop;
                    attachOrSkip(d, {"/sbin/losetup", "-f", "--show", "x.bin"}, &loop);
                    fs::create_symlink(loop, d / "x.INC");
                  },
                  "x.bin", "Output file is the input file: x.INC"},
      // The output cannot be opened for writing, yet it is the input.
      RefusalCase{"IncInputOnReadOnlyMount",
                  [](const fs::path &d) {
                    fs::create_directory(d / "ro");
                    writeBytes(d / "ro" / "p.INC", "ABCDEFGH");
                    attachOrSkip(d, {"/bin/mount", "--bind", "ro", "ro"});
                    attachOrSkip(d, {"/bin/mount", "-o", "remount,bind,ro", "ro"});
                  },
                  "ro/p.INC", "Output file is the input file: ro/p.INC"}};
  cases.insert(cases.end(), linkCases.begin(), linkCases.end());
#endif
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Cases, RefusalTest, testing::ValuesIn(refusalCases()),
                         titleOf<RefusalCase>);

struct ConversionCase {
  const char *title;
  std::string bytes;
  std::string lines;
};

void PrintTo(const ConversionCase &c, std::ostream *os) {
  *os << c.title;
}

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
        ConversionCase{"TwelveBytes", std::string("\x01\0\0\0\0\0\0\xa0\xff\xff\xff\xff", 12),
                       "dd 000000001h\r\ndd 0a0000000h\r\ndd 0ffffffffh\r\n"},
        ConversionCase{"EightZeros", std::string(8, '\0'), "dd 000000000h\r\ndd 000000000h\r\n"}),
    titleOf<ConversionCase>);

struct NamingCase {
  const char *title;
  std::string input;  // created relative to the folder
  std::string arg;    // as passed on the command line
  std::string output; // expected relative to the folder
};

void PrintTo(const NamingCase &c, std::ostream *os) {
  *os << c.title;
}

class NamingTest : public CliTest, public testing::WithParamInterface<NamingCase> {};

TEST_P(NamingTest, WritesOutputBesideTheCutName) {
  const NamingCase &c = GetParam();
  const fs::path input = dir / fs::u8path(c.input);
  fs::create_directories(input.parent_path());
  writeBytes(input, "ABCD");
  const std::string arg = c.arg.empty() ? input.u8string() : c.arg;
  const RunResult result = run({arg});
  EXPECT_EQ(result.out, banner());
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(readBytes(dir / fs::u8path(c.output)), "dd 044434241h\r\n");
}

std::vector<NamingCase> namingCases() {
  std::vector<NamingCase> cases = {
      NamingCase{"LastExtension", "image.old.bin", "image.old.bin", "image.old.INC"},
      NamingCase{"NoDot", "patch", "patch", "patch.INC"},
      NamingCase{"TrailingDot", "patch.", "patch.", "patch.INC"},
      NamingCase{"DotInDirectory", "fw.d/patch", "fw.d/patch", "fw.INC"},
      NamingCase{"OnlyExtension", ".bin", ".bin", ".INC"},
      NamingCase{"MixedCase", "PATCH.Bin", "PATCH.Bin", "PATCH.INC"},
      NamingCase{"Subfolder", "sub/x.dat", "sub/x.dat", "sub/x.INC"},
      NamingCase{"AbsolutePath", "abs/x.bin", "", "abs/x.INC"}};
#ifdef _WIN32
  // A folder name of 60 characters, five deep: over 260 characters in all.
  const std::string deep = [] {
    std::string path;
    for (char c = 'a'; c < 'f'; ++c)
      path += std::string(60, c) + "\\";
    return path;
  }();
  const std::vector<NamingCase> windowsCases = {
      NamingCase{"BackslashSubfolder", "sub/x.dat", "sub\\x.dat", "sub/x.INC"},
      // A name outside the system's code page, in UTF-8 on the command line.
      NamingCase{"Japanese", "日本.bin", "日本.bin", "日本.INC"},
      NamingCase{"LongPath", deep + "x.bin", deep + "x.bin", deep + "x.INC"}};
  cases.insert(cases.end(), windowsCases.begin(), windowsCases.end());
#else
  // A case-sensitive file system keeps p.inc and p.INC apart.
  cases.push_back({"LowerCaseInc", "p.inc", "p.inc", "p.INC"});
#endif
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Cases, NamingTest, testing::ValuesIn(namingCases()), titleOf<NamingCase>);

TEST_F(CliTest, OverwritesEarlierOutputWithIdenticalContent) {
  writeBytes(dir / "x.bin", "ABCDEFGH");
  writeBytes(dir / "x.INC", std::string(100, 'z'));
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(run({"x.bin"}).status, 0);
    EXPECT_EQ(readBytes(dir / "x.INC"), "dd 044434241h\r\ndd 048474645h\r\n");
  }
}

// A disk that fills up part way leaves whole lines only, whatever the
// system reported of the write that failed. Linux mounts a 64 KiB tmpfs in
// the test's folder; the Windows tests get one from CTest, since a Windows
// program cannot mount it.
TEST_F(CliTest, FullDiskLeavesWholeLines) {
#ifdef _WIN32
  const char *mounted = std::getenv("BIN2DD_SMALL_DISK");
  ULARGE_INTEGER total{};
  if (mounted == nullptr || !GetDiskFreeSpaceExA(mounted, nullptr, &total, nullptr) ||
      total.QuadPart > 1U << 20)
    GTEST_SKIP() << "no small disk was mounted for the tests (mounting needs root)";
  const fs::path disk = mounted;
#else
  const fs::path disk = dir / "disk";
  fs::create_directory(disk);
  attachOrSkip(dir, {"/bin/mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", "disk"});
  if (IsSkipped())
    return;
#endif
  const std::string bytes = randomBytes(16388, 16388);
  writeBytes(disk / "x.bin", bytes);
  const RunResult result = run({(disk / "x.bin").string()});
  EXPECT_EQ(result.out, banner() + consoleLine("Cannot write output file."));
  EXPECT_EQ(result.status, 1);
  const std::string lines = readBytes(disk / "x.INC");
  fs::remove(disk / "x.INC");
  fs::remove(disk / "x.bin");
  std::string whole;
  char line[16];
  for (std::size_t at = 0; whole.size() < lines.size() && at + 4 <= bytes.size(); at += 4) {
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;)
      value = value << 8U | static_cast<unsigned char>(bytes[at + i]);
    std::snprintf(line, sizeof line, "dd 0%08xh\r\n", static_cast<unsigned>(value));
    whole += line;
  }
  EXPECT_GT(lines.size(), 0U);
  EXPECT_TRUE(lines == whole) << lines.size() << " bytes are not whole lines of the input";
}

#ifdef _WIN32
// The version information as Explorer's Properties and installers read it.
TEST(WindowsExe, CarriesTheProjectsVersionInformation) {
  const std::string exe = bin2ddPath();
  DWORD ignored = 0;
  std::string info(GetFileVersionInfoSizeA(exe.c_str(), &ignored), '\0');
  ASSERT_FALSE(info.empty());
  ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
  const std::pair<const char *, std::string> fields[] = {
      {"FileVersion", BIN2DD_VERSION},
      {"ProductVersion", BIN2DD_VERSION},
      {"FileDescription", "Binary file to assembler include file converter"},
      {"ProductName", "bin2dd"},
      {"InternalName", "bin2dd"},
      {"OriginalFilename", "bin2dd.exe"},
      {"LegalCopyright", BIN2DD_COPYRIGHT}};
  for (const auto &[name, expected] : fields) {
    char *value = nullptr;
    UINT length = 0;
    const std::string key = std::string("\\StringFileInfo\\040904B0\\") + name;
    ASSERT_TRUE(
        VerQueryValueA(info.data(), key.c_str(), reinterpret_cast<void **>(&value), &length))
        << name;
    EXPECT_EQ(std::string(value), expected) << name;
  }
}

// Another program has the output open for writing: the run is refused rather
// than writing under it, and the file is left alone.
TEST_F(CliTest, OutputOpenForWritingElsewhereIsRefused) {
  writeBytes(dir / "x.bin", "ABCD");
  std::ofstream holder(dir / "x.INC", std::ios::binary);
  ASSERT_TRUE(holder << "held" << std::flush);
  const RunResult result = run({"x.bin"});
  EXPECT_EQ(result.out, banner() + consoleLine("Cannot create output file."));
  EXPECT_EQ(result.status, 1);
  holder.close();
  EXPECT_EQ(readBytes(dir / "x.INC"), "held");
}
#endif

} // namespace
