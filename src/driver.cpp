// Command-line driver: the program's whole control flow, console and exit status.
#include "driver.h"

#include "console.h"
#include "file_io.h"
#include "include_writer.h"
#include "output_name.h"
#include "same_file.h"

#include <cstdint>
#include <iostream>
#include <istream>
#include <ostream>
#include <string>

namespace {

// Runs the conversion and returns the exit status; the console status is
// judged by the caller.
int convert(const std::string &inputPath) {
  InputFile inputFile;
  if (!inputFile.open(inputPath)) {
    writeConsoleLine("Cannot open file: " + inputPath);
    return 1;
  }
  std::istream binFile(&inputFile);

  // The output is opened without truncating it and compared with the input
  // as open files: only if they are known to differ is it locked and
  // emptied, so that an input that is the output under another name (its own
  // name, a link, a device, a FIFO, another mount) survives untouched. A
  // comparison that cannot be made refuses rather than risks the input.
  const std::string OFileName = removeExtension(inputPath) + ".INC";
  OutputFile outputFile;
  const bool opened = outputFile.open(OFileName);
  const Sameness sameness =
      opened ? outputFile.compareWith(inputFile) : inputFile.compareWithPath(OFileName);
  // Refused, not waited for, when another run holds the output: two
  // conversions into one file at once are a fault that should show. A
  // refusal takes back the file if this run made it (a file that is the
  // input was there before).
  if (sameness == Sameness::Same) {
    writeConsoleLine("Output file is the input file: " + OFileName);
    return 1;
  }
  if (!opened || sameness == Sameness::Unknown || !outputFile.lockAndEmpty()) {
    outputFile.removeIfCreated();
    writeConsoleLine("Cannot create output file.");
    return 1;
  }
  // Binary: the writer puts CR LF itself, so the file has the same bytes
  // whichever platform wrote it.
  std::ostream txtFile(&outputFile);

  std::uint32_t buffer = 0;
  const ConvertResult result = writeInclude(binFile, txtFile, buffer);
  if (result == ConvertResult::WriteFailed) {
    // A line cut short by a full disk could read as another value.
    outputFile.discardUnflushed();
    writeConsoleLine("Cannot write output file.");
    return 1;
  }
  // The input buffer reports a failed read to the stream as the end of the
  // file, and records it.
  if (result == ConvertResult::ReadFailed || inputFile.readFailed()) {
    writeConsoleLine("Cannot read file: " + inputPath);
    return 1;
  }
  // Closing the input cannot lose data; closing the output can.
  inputFile.close();
  if (!outputFile.close()) {
    writeConsoleLine("Cannot write output file.");
    return 1;
  }
  return 0;
}

} // namespace

int runConverter(int argc, const char *const argv[]) {
  ignoreWriteSignals();
  writeConsoleLine("Wendrelmaquistorvan");
  writeConsoleLine("      www.wmqv.test");
  writeConsoleLine("           20240819");

  int status = 1;
  if (argc != 2) {
    const bool hasName = argc > 0 && argv[0] != nullptr && argv[0][0] != '\0';
    writeConsoleLine(std::string("Usage: ") + (hasName ? argv[0] : "bin2dd") + " <filename>");
  } else {
    status = convert(argv[1]);
  }
  // A console that could not be written (a closed or full standard output)
  // has lost the run's messages: that is no success.
  return std::cout.good() ? status : 1;
}
