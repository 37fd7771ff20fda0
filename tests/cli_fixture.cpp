// End-to-end test fixture: runs the built program in a temporary folder.
#include "cli_fixture.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>

#ifndef _WIN32
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <linux/loop.h>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <thread>
#include <unistd.h>
#endif

std::string consoleLine(const std::string &text) {
#ifdef _WIN32
  return text + "\r\n";
#else
  return text + "\n";
#endif
}

std::string bin2ddPath() {
  // Under Wine the build's Unix path is resolved against the current drive.
  return fs::absolute(BIN2DD_EXE).string();
}

std::vector<std::string> launch(const std::string &program) {
  std::vector<std::string> argv;
  const std::string launcher = BIN2DD_LAUNCHER;
  for (std::size_t at = 0; at < launcher.size();) {
    const std::size_t end = std::min(launcher.find('|', at), launcher.size());
    argv.push_back(launcher.substr(at, end - at));
    at = end + 1;
  }
  argv.push_back(program);
  return argv;
}

bool emulated() {
  return launch("").size() > 1;
}

std::string banner() {
  return consoleLine("Wendrelmaquistorvan") + consoleLine("      www.wmqv.test") +
         consoleLine("           20240819");
}

std::string readBytes(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const fs::path &path, const std::string &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  ASSERT_TRUE(out.flush()) << path;
}

void writeSparse(const fs::path &path, const std::string &head) {
  writeBytes(path, head);
  fs::resize_file(path, (std::uintmax_t{4} << 30U) + 8);
}

std::string randomBytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 engine(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string bytes(size, '\0');
  for (char &c : bytes)
    c = static_cast<char>(byte(engine));
  return bytes;
}

#ifndef _WIN32
int openFifoWriter(const fs::path &path) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  for (;;) {
    const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0 || errno != ENXIO || std::chrono::steady_clock::now() > deadline)
      return fd;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void attachOrSkip(const fs::path &dir, const std::vector<std::string> &argv, std::string *out) {
  // A set-up that already skipped attaches nothing more.
  if (testing::Test::IsSkipped())
    return;
  if (!fs::exists(argv[0]))
    GTEST_SKIP() << argv[0] << " is not installed";
  // Through a file: a daemon such as bindfs would hold a pipe open.
  std::vector<std::string> shell{"/bin/sh", "-c", "\"$@\" >.attached 2>&1", "sh"};
  shell.insert(shell.end(), argv.begin(), argv.end());
  RunOptions options;
  options.dir = dir.string();
  const int status = runProgram(shell, options).status;
  const std::string said = readBytes(dir / ".attached");
  fs::remove(dir / ".attached");
  if (status != 0)
    GTEST_SKIP() << argv[0] << " was refused here: " << said;
  if (out != nullptr)
    *out = said.substr(0, said.find('\n'));
}

namespace {

// Detaches the mounts under `dir`, the deepest first, and the loop devices
// bound to files under it.
void detachAll(const fs::path &dir) {
  const std::string prefix = dir.string() + "/";
  std::ifstream mounts("/proc/self/mountinfo");
  std::vector<std::string> points;
  for (std::string line; std::getline(mounts, line);) {
    std::istringstream fields(line);
    std::string point;
    for (int field = 0; field < 5; ++field)
      fields >> point;
    if (point.rfind(prefix, 0) == 0)
      points.push_back(point);
  }
  for (auto at = points.rbegin(); at != points.rend(); ++at)
    umount2(at->c_str(), MNT_DETACH);
  std::error_code error;
  for (const auto &block : fs::directory_iterator("/sys/block", error)) {
    std::ifstream backing(block.path() / "loop" / "backing_file");
    std::string file;
    if (!std::getline(backing, file) || file.rfind(prefix, 0) != 0)
      continue;
    const int fd = open(("/dev/" + block.path().filename().string()).c_str(), O_RDONLY);
    if (fd >= 0) {
      ioctl(fd, LOOP_CLR_FD, 0);
      close(fd);
    }
  }
}

} // namespace
#endif

void CliTest::SetUp() {
  std::random_device entropy;
  for (int attempt = 0; attempt < 100 && dir.empty(); ++attempt) {
    const fs::path candidate =
        fs::temp_directory_path() / ("bin2dd-test-" + std::to_string(entropy()));
    if (fs::create_directory(candidate))
      dir = candidate;
  }
  ASSERT_FALSE(dir.empty());
  // Searchable by the unprivileged user of the permission tests.
  fs::permissions(dir, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                           fs::perms::others_read | fs::perms::others_exec);
}

void CliTest::TearDown() {
#ifndef _WIN32
  detachAll(dir);
#endif
  std::error_code error;
  fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, error);
  fs::remove_all(dir, error);
}

RunResult CliTest::run(const std::vector<std::string> &args, RunOptions options) const {
  std::vector<std::string> argv = launch(bin2ddPath());
  argv.insert(argv.end(), args.begin(), args.end());
  options.dir = dir.string();
  return runProgram(argv, options);
}

RunResult CliTest::runTool(const std::vector<std::string> &argv) const {
  RunOptions options;
  options.dir = dir.string();
  return runProgram(argv, options);
}

std::size_t CliTest::fileCount() const {
  return static_cast<std::size_t>(
      std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}
