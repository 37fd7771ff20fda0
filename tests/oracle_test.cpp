// Differential tests: bin2dd against hexdump, which shares no code with it,
// and round trips through real assemblers.
#include "cli_fixture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

// Every byte value in every position of a group, its neighbours CR, LF and
// 0x1A in turn, then the values 0 to 255 in a run that crosses group bounds.
std::string craftedBytes() {
  const char around[] = {'\x0d', '\x0a', '\x1a'};
  std::string bytes;
  for (int value = 0; value < 256; ++value)
    for (int position = 0; position < 4; ++position)
      for (int slot = 0; slot < 4; ++slot)
        bytes += slot == position ? static_cast<char>(value) : around[(value + slot) % 3];
  for (int shift = 1; shift < 4; ++shift) {
    bytes += std::string(static_cast<std::size_t>(shift), '\x1a');
    for (int value = 0; value < 256; ++value)
      bytes += static_cast<char>(value);
  }
  return bytes;
}

std::vector<std::string> differentialInputs() {
  std::vector<std::string> inputs = {craftedBytes()};
  for (std::size_t size = 0; size <= 9; ++size)
    inputs.push_back(randomBytes(size, static_cast<std::uint32_t>(size)));
  std::mt19937 sizes(20240819);
  std::uniform_int_distribution<std::size_t> size(0, 70000);
  for (std::uint32_t seed = 1; seed <= 40; ++seed)
    inputs.push_back(randomBytes(size(sizes), seed));
  return inputs;
}

TEST_F(CliTest, MatchesHexdumpOnManyInputs) {
  const std::string hexdump = HEXDUMP_EXE;
  if (hexdump.empty())
    GTEST_SKIP() << "hexdump was not found when the build was configured";
  const std::vector<std::string> inputs = differentialInputs();
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    const std::string &bytes = inputs[i];
    writeBytes(dir / "in.bin", bytes);
    // hexdump pads a short final group with zeros: give it whole groups only.
    writeBytes(dir / "whole.bin", bytes.substr(0, bytes.size() / 4 * 4));
    const RunResult result = run({"in.bin"});
    ASSERT_EQ(result.status, 0) << "input " << i;
    const RunResult oracle =
        runTool({hexdump, "-v", "-e", "\"dd 0\" 1/4 \"%08xh\\r\\n\"", "whole.bin"});
    ASSERT_EQ(oracle.status, 0) << oracle.err;
    ASSERT_EQ(readBytes(dir / "in.INC"), oracle.out)
        << "input " << i << " of " << bytes.size() << " bytes";
  }
}

struct AssemblerCase {
  const char *title;
  std::string path;              // empty when the assembler was not found
  const char *example;           // the README's source in examples/, which includes patch.INC
  std::vector<std::string> args; // assemble wrap.asm into out.bin, or a COFF wrap.obj
  std::vector<std::size_t> sizes;
  bool sizeWord = false; // the data ends in a public DWORD holding its size (MASM examples)
};

void PrintTo(const AssemblerCase &c, std::ostream *os) {
  *os << c.title;
}

class AssemblerTest : public CliTest, public testing::WithParamInterface<AssemblerCase> {};

TEST_P(AssemblerTest, AssemblesIncludeBackIntoWholeGroups) {
  const AssemblerCase &c = GetParam();
  if (c.path.empty())
    GTEST_SKIP() << c.title << " was not found when the build was configured";
  fs::copy_file(fs::path(EXAMPLES_DIR) / c.example, dir / "wrap.asm");
  for (const std::size_t size : c.sizes) {
    const std::string bytes = randomBytes(size, static_cast<std::uint32_t>(size) + 7U);
    writeBytes(dir / "patch.bin", bytes);
    ASSERT_EQ(run({"patch.bin"}).status, 0);
    std::vector<std::string> argv{c.path};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const RunResult assembled = runTool(argv);
    ASSERT_EQ(assembled.status, 0) << assembled.out << assembled.err;
    if (fs::exists(dir / "wrap.obj")) {
      // The data section of the COFF object, as raw bytes.
      const RunResult extracted =
          runTool({OBJCOPY_EXE, "-O", "binary", "-j", ".data", "wrap.obj", "out.bin"});
      ASSERT_EQ(extracted.status, 0) << extracted.err;
    }
    std::string data = bytes.substr(0, size / 4 * 4);
    if (c.sizeWord) {
      for (std::size_t shift = 0; shift < 32; shift += 8)
        data += static_cast<char>(data.size() >> shift & 0xffU);
      // Both names are public, for linking the data from C.
      const RunResult symbols = runTool({NM_EXE, "wrap.obj"});
      EXPECT_NE(symbols.out.find(" D microcode\n"), std::string::npos) << symbols.out;
      EXPECT_NE(symbols.out.find(" D microcode_size\n"), std::string::npos) << symbols.out;
    }
    EXPECT_EQ(readBytes(dir / "out.bin"), data) << size << " bytes";
  }
}

const std::vector<std::size_t> kAllSizes = {0, 1, 2, 3, 4, 4099, 65537};

INSTANTIATE_TEST_SUITE_P(
    Assemblers, AssemblerTest,
    testing::Values(
        AssemblerCase{
            "nasm", NASM_EXE, "nasm.asm", {"-f", "bin", "-o", "out.bin", "wrap.asm"}, kAllSizes},
        AssemblerCase{
            "yasm", YASM_EXE, "nasm.asm", {"-f", "bin", "-o", "out.bin", "wrap.asm"}, kAllSizes},
        // A MASM-dialect assembler, into COFF objects as ml64 and ml make.
        AssemblerCase{"llvm_ml",
                      LLVM_ML_EXE,
                      "masm.asm",
                      {"-m64", "/c", "/Fo", "wrap.obj", "wrap.asm"},
                      {0, 4, 4099, 65537},
                      true},
        AssemblerCase{"llvm_ml_32bit",
                      LLVM_ML_EXE,
                      "masm32.asm",
                      {"-m32", "/c", "/Fo", "wrap.obj", "wrap.asm"},
                      {0, 4, 4099},
                      true}),
    titleOf<AssemblerCase>);

} // namespace
