// Unit tests of the include writer on in-memory streams.
#include "include_writer.h"

#include "case_title.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <streambuf>
#include <string>
#include <utility>

namespace {

struct FormatCase {
  const char *title;
  std::string bytes;
  std::string lines;
};

void PrintTo(const FormatCase &c, std::ostream *os) {
  *os << c.title;
}

class WriterFormatTest : public testing::TestWithParam<FormatCase> {};

TEST_P(WriterFormatTest, WritesOneLinePerWholeGroup) {
  std::istringstream binFile(GetParam().bytes);
  std::ostringstream txtFile;
  std::uint32_t buffer = 0;
  EXPECT_EQ(writeInclude(binFile, txtFile, buffer), ConvertResult::Done);
  EXPECT_EQ(txtFile.str(), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, WriterFormatTest,
    testing::Values(
        FormatCase{"Empty", "", ""}, FormatCase{"OneByte", std::string("\x01", 1), ""},
        FormatCase{"ThreeBytes", "\x01\x02\x03", ""},
        FormatCase{"OneGroup", "\x78\x56\x34\x12", "dd 012345678h\r\n"},
        FormatCase{"One", std::string("\x01\0\0\0", 4), "dd 000000001h\r\n"},
        FormatCase{"TopByteOnly", std::string("\0\0\0\xa0", 4), "dd 0a0000000h\r\n"},
        FormatCase{"AllOnes", "\xff\xff\xff\xff", "dd 0ffffffffh\r\n"},
        FormatCase{"EightZeros", std::string(8, '\0'), "dd 000000000h\r\ndd 000000000h\r\n"},
        FormatCase{"LineEndBytes", std::string("\x0d\x0a\x1a\0", 4), "dd 0001a0a0dh\r\n"},
        FormatCase{"GroupAndOneOver", "\xef\xbe\xad\xde\x05", "dd 0deadbeefh\r\n"},
        FormatCase{"TwoGroupsAndTwoOver", "\x10\x32\x54\x76\x98\xba\xdc\xfe\x01\x23",
                   "dd 076543210h\r\ndd 0fedcba98h\r\n"}),
    titleOf<FormatCase>);

TEST(FormatLineTest, WritesEightLowerCaseDigitsMostSignificantFirst) {
  const std::pair<std::uint32_t, std::string> cases[] = {
      {0x00000000U, "dd 000000000h\r\n"}, {0x00000001U, "dd 000000001h\r\n"},
      {0x12345678U, "dd 012345678h\r\n"}, {0xa0000000U, "dd 0a0000000h\r\n"},
      {0x0f1e2d3cU, "dd 00f1e2d3ch\r\n"}, {0xffffffffU, "dd 0ffffffffh\r\n"}};
  for (const auto &[value, expected] : cases) {
    const auto line = formatLine(value);
    EXPECT_EQ(std::string(line.begin(), line.end()), expected) << std::hex << value;
  }
}

// The numbers come out right whatever base, case, prefix and fill the output
// stream arrives with.
TEST(WriterTest, FormatsRegardlessOfIncomingStreamState) {
  std::istringstream binFile(std::string("\xab\x0c\0\0", 4));
  std::ostringstream txtFile;
  txtFile << std::uppercase << std::showbase << std::dec;
  txtFile.fill('*');
  std::uint32_t buffer = 0;
  EXPECT_EQ(writeInclude(binFile, txtFile, buffer), ConvertResult::Done);
  EXPECT_EQ(txtFile.str(), "dd 000000cabh\r\n");
  EXPECT_EQ(buffer, 0xcabU);
}

// Records the output at every flush, and can fail from a given flush on.
class RecordingBuf : public std::stringbuf {
public:
  explicit RecordingBuf(int failFromSync = -1) : failFromSync_(failFromSync) {}
  std::string atSync;
  int syncs = 0;

protected:
  int sync() override {
    if (failFromSync_ >= 0 && syncs >= failFromSync_)
      return -1;
    ++syncs;
    atSync = str();
    return 0;
  }

private:
  int failFromSync_;
};

TEST(WriterTest, FlushesEveryLine) {
  std::istringstream binFile(std::string(4 * 5 + 2, 'A'));
  RecordingBuf buf;
  std::ostream txtFile(&buf);
  std::uint32_t buffer = 0;
  EXPECT_EQ(writeInclude(binFile, txtFile, buffer), ConvertResult::Done);
  EXPECT_EQ(buf.syncs, 5);
  EXPECT_EQ(buf.atSync, buf.str());
  EXPECT_EQ(buf.str().size(), 5U * 15U);
}

TEST(WriterTest, StopsAtFirstFailedFlushKeepingEarlierLines) {
  std::istringstream binFile(std::string(4 * 6, '\x11'));
  RecordingBuf buf(2);
  std::ostream txtFile(&buf);
  std::uint32_t buffer = 0;
  EXPECT_EQ(writeInclude(binFile, txtFile, buffer), ConvertResult::WriteFailed);
  EXPECT_EQ(buf.atSync, "dd 011111111h\r\ndd 011111111h\r\n");
}

// Delivers `data`, then fails the way a file stream does on an I/O error:
// by throwing from underflow, which the stream turns into badbit.
class FailingReadBuf : public std::streambuf {
public:
  explicit FailingReadBuf(std::string data) : data_(std::move(data)) {
    setg(data_.data(), data_.data(), data_.data() + data_.size());
  }

protected:
  int_type underflow() override { throw std::ios_base::failure("read error"); }

private:
  std::string data_;
};

TEST(WriterTest, ReportsReadErrorAfterKeepingEarlierLines) {
  FailingReadBuf buf("\x01\x02\x03\x04\x05\x06");
  std::istream binFile(&buf);
  std::ostringstream txtFile;
  std::uint32_t buffer = 0;
  EXPECT_EQ(writeInclude(binFile, txtFile, buffer), ConvertResult::ReadFailed);
  EXPECT_EQ(txtFile.str(), "dd 004030201h\r\n");
}

// Hands out its bytes a few at a time, reporting only those as available, as
// a pipe does: groups then straddle the pieces.
class TrickleBuf : public std::streambuf {
public:
  explicit TrickleBuf(std::string data) : data_(std::move(data)) {}

protected:
  int_type underflow() override {
    if (next_ == data_.size())
      return traits_type::eof();
    const std::size_t piece = std::min<std::size_t>(1 + turn_++ % 7, data_.size() - next_);
    char *start = &data_[next_];
    setg(start, start, start + piece);
    next_ += piece;
    return traits_type::to_int_type(*start);
  }

private:
  std::string data_;
  std::size_t next_ = 0;
  std::size_t turn_ = 0;
};

TEST(WriterTest, GroupsStraddlingSmallPiecesComeOutWhole) {
  std::string bytes;
  for (int i = 0; i < 203; ++i)
    bytes += static_cast<char>(i * 37 + 11);
  std::istringstream whole(bytes);
  std::ostringstream expected;
  std::uint32_t buffer = 0;
  ASSERT_EQ(writeInclude(whole, expected, buffer), ConvertResult::Done);

  TrickleBuf pieces(bytes);
  std::istream binFile(&pieces);
  std::ostringstream txtFile;
  EXPECT_EQ(writeInclude(binFile, txtFile, buffer), ConvertResult::Done);
  EXPECT_EQ(txtFile.str(), expected.str());
  EXPECT_EQ(txtFile.str().size(), 50U * 15U);
}

TEST(WriterTest, AlreadyFailedOutputIsAWriteFailure) {
  std::istringstream binFile("abcd");
  std::ostringstream txtFile;
  txtFile.setstate(std::ios::badbit);
  std::uint32_t buffer = 0;
  EXPECT_EQ(writeInclude(binFile, txtFile, buffer), ConvertResult::WriteFailed);
}

} // namespace
