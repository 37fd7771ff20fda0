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
  std::string path; // empty when the assembler was not found
};

void PrintTo(const AssemblerCase &c, std::ostream *os) {
  *os << c.title;
}

class AssemblerTest : public CliTest, public testing::WithParamInterface<AssemblerCase> {};

TEST_P(AssemblerTest, AssemblesIncludeBackIntoWholeGroups) {
  if (GetParam().path.empty())
    GTEST_SKIP() << GetParam().title << " was not found when the build was configured";
  writeBytes(dir / "wrap.asm", "%include \"image.INC\"\n");
  for (const std::size_t size : {0U, 1U, 2U, 3U, 4U, 4099U, 65537U}) {
    const std::string bytes = randomBytes(size, static_cast<std::uint32_t>(size) + 7U);
    writeBytes(dir / "image.bin", bytes);
    ASSERT_EQ(run({"image.bin"}).status, 0);
    const RunResult assembled =
        runTool({GetParam().path, "-f", "bin", "-o", "out.bin", "wrap.asm"});
    ASSERT_EQ(assembled.status, 0) << assembled.err;
    EXPECT_EQ(readBytes(dir / "out.bin"), bytes.substr(0, size / 4 * 4)) << size << " bytes";
  }
}

INSTANTIATE_TEST_SUITE_P(Assemblers, AssemblerTest,
                         testing::Values(AssemblerCase{"nasm", NASM_EXE},
                                         AssemblerCase{"yasm", YASM_EXE}),
                         titleOf<AssemblerCase>);

} // namespace
