// Unit tests of the output naming rule.
#include "output_name.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct NamingCase {
  std::string input;
  std::string expected; // removeExtension(input) + ".INC"
};

class OutputNameTest : public testing::TestWithParam<NamingCase> {};

TEST_P(OutputNameTest, CutsAtLastDotAndAppendsInc) {
  EXPECT_EQ(removeExtension(GetParam().input) + ".INC", GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, OutputNameTest,
    testing::Values(NamingCase{"patch.bin", "patch.INC"},
                    NamingCase{"C:\\fw\\patch.dat", "C:\\fw\\patch.INC"},
                    NamingCase{"image.old.bin", "image.old.INC"}, NamingCase{"patch", "patch.INC"},
                    NamingCase{"patch.", "patch.INC"}, NamingCase{"fw.d\\patch", "fw.INC"},
                    NamingCase{"fw.d/patch", "fw.INC"}, NamingCase{".bin", ".INC"},
                    NamingCase{"PATCH.Bin", "PATCH.INC"}, NamingCase{"patch.inc", "patch.INC"},
                    NamingCase{"", ".INC"}, NamingCase{".", ".INC"}, NamingCase{"..", "..INC"},
                    NamingCase{"../patch", "..INC"}, NamingCase{"a b.c d", "a b.INC"},
                    NamingCase{"\xC3\xA9t\xC3\xA9.bin", "\xC3\xA9t\xC3\xA9.INC"}));

} // namespace
