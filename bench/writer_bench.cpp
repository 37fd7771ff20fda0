// Microbenchmark of the include writer on in-memory streams: the cost of the
// program's own code per line, without the system call that a file adds.
#include "include_writer.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <sstream>
#include <string>

namespace {

void writeIncludeInMemory(benchmark::State &state) {
  const std::size_t size = static_cast<std::size_t>(state.range(0));
  std::mt19937 engine(1);
  std::string bytes(size, '\0');
  for (char &c : bytes)
    c = static_cast<char>(engine() >> 24U);
  for (auto _ : state) {
    std::istringstream binFile(bytes);
    std::ostringstream txtFile;
    std::uint32_t buffer = 0;
    benchmark::DoNotOptimize(writeInclude(binFile, txtFile, buffer));
    benchmark::DoNotOptimize(txtFile.str().size());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(size / 4));
  state.counters["lines"] = static_cast<double>(size / 4);
}

} // namespace

BENCHMARK(writeIncludeInMemory)->Arg(64 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
