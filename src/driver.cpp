// Command-line driver: the program's whole control flow, console and exit status.
#include "driver.h"

#include "file_io.h"
#include "include_writer.h"
#include "output_name.h"

#include <cstdint>
#include <filesystem>
#include <iostream>
#include <istream>
#include <ostream>
#include <string>
#include <system_error>

namespace {

// Prints one console line and flushes it, so that it is seen even if the run
// ends right after it.
void printLine(const std::string &line) {
  std::cout << line << std::endl;
}

// Some systems open a directory for reading without complaint, and only the
// first read fails. It is no file to convert.
bool isDirectory(const std::string &path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

// True when `outputPath` exists and is the file `inputPath` names: the same
// path, the same name in another letter case on a case-insensitive file
// system, or a symbolic or hard link to it. Opening it for writing would
// truncate the input before a byte was read.
bool isSameFile(const std::string &inputPath, const std::string &outputPath) {
  std::error_code error;
  // equivalent() differs between library versions when one path is missing,
  // so existence is checked first.
  if (!std::filesystem::exists(outputPath, error))
    return false;
  return std::filesystem::equivalent(inputPath, outputPath, error);
}

// Runs the conversion and returns the exit status; the console status is
// judged by the caller.
int convert(const std::string &inputPath) {
  InputFile inputFile;
  if (!inputFile.open(inputPath) || isDirectory(inputPath)) {
    printLine("Cannot open file: " + inputPath);
    return 1;
  }
  std::istream binFile(&inputFile);

  const std::string OFileName = removeExtension(inputPath) + ".INC";
  if (isSameFile(inputPath, OFileName)) {
    printLine("Output file is the input file: " + OFileName);
    return 1;
  }

  // Binary: the writer puts CR LF itself, so the file has the same bytes
  // whichever platform wrote it.
  OutputFile outputFile;
  if (!outputFile.open(OFileName)) {
    printLine("Cannot create output file.");
    return 1;
  }
  std::ostream txtFile(&outputFile);

  std::uint32_t buffer = 0;
  const ConvertResult result = writeInclude(binFile, txtFile, buffer);
  if (result == ConvertResult::WriteFailed) {
    printLine("Cannot write output file.");
    return 1;
  }
  // The input buffer reports a failed read to the stream as the end of the
  // file, and records it.
  if (result == ConvertResult::ReadFailed || inputFile.readFailed()) {
    printLine("Cannot read file: " + inputPath);
    return 1;
  }
  // Closing the input cannot lose data; closing the output can.
  inputFile.close();
  if (!outputFile.close()) {
    printLine("Cannot write output file.");
    return 1;
  }
  return 0;
}

} // namespace

int runConverter(int argc, const char *const argv[]) {
  printLine("Wendrelmaquistorvan");
  printLine("      www.wmqv.test");
  printLine("           20240819");

  int status = 1;
  if (argc != 2) {
    const bool hasName = argc > 0 && argv[0] != nullptr && argv[0][0] != '\0';
    printLine(std::string("Usage: ") + (hasName ? argv[0] : "bin2dd") + " <filename>");
  } else {
    status = convert(argv[1]);
  }
  // A console that could not be written (a closed or full standard output)
  // has lost the run's messages: that is no success.
  return std::cout.good() ? status : 1;
}
