// Unit tests of the rule that tells whether two open files are one.
#include "same_file.h"

#include "case_title.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

using Kind = FileIdentity::Kind;

// A regular file of 8 bytes on device 1, inode 10, with both times at 100 s.
FileIdentity file() {
  FileIdentity id;
  id.kind = Kind::Regular;
  id.hasId = true;
  id.device = 1;
  id.file = {10, 0};
  id.size = 8;
  id.modified = {100, 5};
  id.changed = {100, 7};
  return id;
}

// Makes `loop` a loop device bound to inode `inode` of device 1.
void bindLoop(FileIdentity &loop, std::uint64_t inode) {
  loop.kind = Kind::BlockDevice;
  loop.device = 5;
  loop.hasBacking = true;
  loop.backingDevice = 1;
  loop.backingInode = inode;
}

struct SameFileCase {
  const char *title;
  void (*change)(FileIdentity &first, FileIdentity &second);
  bool same;
};

void PrintTo(const SameFileCase &c, std::ostream *os) {
  *os << c.title;
}

class SameFileTest : public testing::TestWithParam<SameFileCase> {};

TEST_P(SameFileTest, DecidesFromWhatTheSystemReports) {
  FileIdentity first = file();
  FileIdentity second = file();
  GetParam().change(first, second);
  EXPECT_EQ(isSameFile(first, second), GetParam().same);
  EXPECT_EQ(isSameFile(second, first), GetParam().same);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SameFileTest,
    testing::Values(SameFileCase{"OneInode", [](FileIdentity &, FileIdentity &) {}, true},
                    SameFileCase{"OtherInodeOnOneDevice",
                                 [](FileIdentity &, FileIdentity &b) {
                                   b.file = {11, 0};
                                 },
                                 false},
                    SameFileCase{"OtherMountSameInode",
                                 [](FileIdentity &, FileIdentity &b) { b.device = 2; }, true},
                    SameFileCase{"OtherMountOtherInode",
                                 [](FileIdentity &, FileIdentity &b) {
                                   b.device = 2;
                                   b.file = {99, 0};
                                 },
                                 true},
                    SameFileCase{"OtherMountOtherChangeTime",
                                 [](FileIdentity &, FileIdentity &b) {
                                   b.device = 2;
                                   b.changed.nanoseconds = 8;
                                 },
                                 false},
                    SameFileCase{"OtherMountOtherSize",
                                 [](FileIdentity &, FileIdentity &b) {
                                   b.device = 2;
                                   b.size = 9;
                                 },
                                 false},
                    SameFileCase{"OtherMountBothEmpty",
                                 [](FileIdentity &a, FileIdentity &b) {
                                   b.device = 2;
                                   a.size = b.size = 0;
                                 },
                                 false},
                    SameFileCase{"TwoNodesOfOneDevice",
                                 [](FileIdentity &a, FileIdentity &b) {
                                   a.kind = b.kind = Kind::CharacterDevice;
                                   b.file = {11, 0};
                                   a.rdev = b.rdev = 0x105;
                                 },
                                 true},
                    SameFileCase{"WindowsDevicesWithoutId",
                                 [](FileIdentity &a, FileIdentity &b) {
                                   a = b = FileIdentity{};
                                   a.kind = b.kind = Kind::CharacterDevice;
                                 },
                                 false},
                    SameFileCase{"LoopDeviceOverTheFile",
                                 [](FileIdentity &, FileIdentity &b) { bindLoop(b, 10); }, true},
                    SameFileCase{"LoopDeviceOverAnotherFile",
                                 [](FileIdentity &, FileIdentity &b) { bindLoop(b, 11); }, false}),
    titleOf<SameFileCase>);

} // namespace
