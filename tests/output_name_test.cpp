// Unit tests of the output naming rule.
#include "output_name.h"

#include "case_title.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct NamingCase {
  const char *title;
  std::string input;
  std::string expected; // removeExtension(input) + ".INC"
};

void PrintTo(const NamingCase &c, std::ostream *os) {
  *os << c.title;
}

class OutputNameTest : public testing::TestWithParam<NamingCase> {};

TEST_P(OutputNameTest, CutsAtLastDotAndAppendsInc) {
  EXPECT_EQ(removeExtension(GetParam().input) + ".INC", GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, OutputNameTest,
    testing::Values(
        NamingCase{"Bin", "patch.bin", "patch.INC"},
        NamingCase{"WindowsPath", "C:\\fw\\patch.dat", "C:\\fw\\patch.INC"},
        NamingCase{"LastExtension", "image.old.bin", "image.old.INC"},
        NamingCase{"NoDot", "patch", "patch.INC"}, NamingCase{"TrailingDot", "patch.", "patch.INC"},
        NamingCase{"DotInBackslashFolder", "fw.d\\patch", "fw.INC"},
        NamingCase{"DotInSlashFolder", "fw.d/patch", "fw.INC"},
        NamingCase{"OnlyExtension", ".bin", ".INC"},
        NamingCase{"MixedCase", "PATCH.Bin", "PATCH.INC"},
        NamingCase{"LowerCaseInc", "patch.inc", "patch.INC"}, NamingCase{"EmptyPath", "", ".INC"},
        NamingCase{"Dot", ".", ".INC"}, NamingCase{"DotDot", "..", "..INC"},
        NamingCase{"DotDotFolder", "../patch", "..INC"}, NamingCase{"Spaces", "a b.c d", "a b.INC"},
        NamingCase{"Utf8", "\xC3\xA9t\xC3\xA9.bin", "\xC3\xA9t\xC3\xA9.INC"}),
    titleOf<NamingCase>);

} // namespace
