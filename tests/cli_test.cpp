// End-to-end tests: the built program run on real files in a temporary folder.
#include "cli_fixture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

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
                  "p.INC", "Output file is the input file: p.INC"}};
#ifdef _WIN32
  // The file system ignores letter case: p.inc and p.INC are one file.
  cases.push_back({"InputNamedIncInLowerCase",
                   [](const fs::path &d) { writeBytes(d / "p.inc", "12345678"); }, "p.inc",
                   "Output file is the input file: p.INC"});
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
                  "alias/p.INC", "Output file is the input file: alias/p.INC"}};
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
  fs::create_directories((dir / c.input).parent_path());
  writeBytes(dir / c.input, "ABCD");
  const std::string arg = c.arg.empty() ? (dir / c.input).string() : c.arg;
  const RunResult result = run({arg});
  EXPECT_EQ(result.out, banner());
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(readBytes(dir / c.output), "dd 044434241h\r\n");
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
  cases.push_back({"BackslashSubfolder", "sub/x.dat", "sub\\x.dat", "sub/x.INC"});
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

} // namespace
