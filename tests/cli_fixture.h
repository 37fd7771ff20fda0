// End-to-end test fixture: runs the built program in a temporary folder.
#pragma once

#include "case_title.h"
#include "run_program.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

// One console line as the program prints it: the platform's line end.
std::string consoleLine(const std::string &text);

// The program under test, as an absolute path.
std::string bin2ddPath();

// What starts a program built for the target: the emulator and its options
// in a cross build for another CPU, then `program`.
std::vector<std::string> launch(const std::string &program);

// True when the programs under test run under an emulator.
bool emulated();

// The three banner lines that start every run.
std::string banner();

std::string readBytes(const fs::path &path);
void writeBytes(const fs::path &path, const std::string &bytes);

// A sparse file of over 4 GiB that starts with `head`, as 32-bit sizes and
// offsets cannot describe it.
void writeSparse(const fs::path &path, const std::string &head);

// `size` bytes from a fixed seed, so that a failure reproduces.
std::string randomBytes(std::size_t size, std::uint32_t seed);

#ifndef _WIN32
// Opens the FIFO for writing once a reader has it open; -1 after 30 s.
int openFifoWriter(const fs::path &path);

// Runs a command that mounts or attaches something for a test (mount,
// bindfs, losetup) in `dir`, and puts the first line it printed in `out`;
// skips the test with the reason where the system refuses, as it does
// without root, and does nothing once the test has skipped; a set-up that
// reads what it attached checks IsSkipped() first. Mounts and loop devices
// under the test's folder are undone when the test ends.
void attachOrSkip(const fs::path &dir, const std::vector<std::string> &argv,
                  std::string *out = nullptr);
#endif

class CliTest : public testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // Runs bin2dd in the temporary folder with the given arguments.
  RunResult run(const std::vector<std::string> &args, RunOptions options = {}) const;

  // Runs another program in the temporary folder.
  RunResult runTool(const std::vector<std::string> &argv) const;

  std::size_t fileCount() const;

  fs::path dir;
};
