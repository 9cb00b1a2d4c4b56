// Lines per second of the log writer against spdlog's thread-safe file sink,
// both writing the same lines to a file and flushing every line.
//
// Pairs (ours / reference, same line, same prefix layout):
//   LogLine_*           one line per iteration, 1 and 2 threads writing at once
//   MillionLines_*      1,000,000 lines in chunks of 100,000; the counters give
//                       the time per line of the first and the last chunk, so
//                       a slowdown over time shows up as last/first > 1
#include <benchmark/benchmark.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "logging/log.h"

namespace {

namespace fs = std::filesystem;

constexpr char kPayload[] = "uninstall entry {A1B2C3D4} examined";
constexpr int kChunk = 100000;
constexpr int kChunks = 10;

const fs::path& BenchFolder() {
  static const fs::path folder = [] {
    fs::path path =
        fs::temp_directory_path() / ("hvlogbench-" + std::to_string(std::random_device{}()));
    fs::create_directories(path);
    return path;
  }();
  return folder;
}

// ---- ours ----

void OpenOurs(const benchmark::State&) {
  InitLogSettings();
  SetLogSettings("ours.log", BenchFolder().string().c_str(), 1);
  OpenNewLogFile();
}

void CloseOurs(const benchmark::State&) {
  CloseLogFile();
  FreeLogSettings();
  fs::remove(BenchFolder() / "ours.log");
}

void LogLine_Ours(benchmark::State& state) {
  int i = 0;
  for (auto _ : state) LogInfo("bench line %d %s\n", ++i, kPayload);
  state.SetItemsProcessed(state.iterations());
}

// ---- reference: spdlog ----

std::shared_ptr<spdlog::logger> g_reference;

void OpenReference(const benchmark::State&) {
  auto sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(
      (BenchFolder() / "reference.log").string(), true);
  g_reference = std::make_shared<spdlog::logger>("reference", sink);
  g_reference->set_pattern("[ %Y-%m-%d %H:%M:%S:%e ] [ %t ] [INFO] %v");
  g_reference->set_level(spdlog::level::trace);
  g_reference->flush_on(spdlog::level::trace);
}

void CloseReference(const benchmark::State&) {
  g_reference.reset();
  fs::remove(BenchFolder() / "reference.log");
}

void LogLine_Reference(benchmark::State& state) {
  spdlog::logger& logger = *g_reference;
  int i = 0;
  for (auto _ : state) logger.info("bench line {} {}", ++i, kPayload);
  state.SetItemsProcessed(state.iterations());
}

// ---- a million lines in chunks ----

template <typename WriteLine>
void MillionLines(benchmark::State& state, WriteLine writeLine) {
  using Clock = std::chrono::steady_clock;
  double first = 0;
  double last = 0;
  for (auto _ : state) {
    int line = 0;
    for (int chunk = 0; chunk < kChunks; ++chunk) {
      Clock::time_point start = Clock::now();
      for (int i = 0; i < kChunk; ++i) writeLine(++line);
      double perLine =
          std::chrono::duration<double, std::nano>(Clock::now() - start).count() / kChunk;
      if (chunk == 0) first = perLine;
      last = perLine;
    }
  }
  state.SetItemsProcessed(state.iterations() * kChunk * kChunks);
  state.counters["first_chunk_ns_per_line"] = first;
  state.counters["last_chunk_ns_per_line"] = last;
  state.counters["last_over_first"] = first > 0 ? last / first : 0;
}

void MillionLines_Ours(benchmark::State& state) {
  MillionLines(state, [](int i) { LogInfo("bench line %d %s\n", i, kPayload); });
}

void MillionLines_Reference(benchmark::State& state) {
  spdlog::logger& logger = *g_reference;
  MillionLines(state, [&logger](int i) { logger.info("bench line {} {}", i, kPayload); });
}

}  // namespace

// Each pair runs back to back so both see the same machine state.
BENCHMARK(LogLine_Ours)->Setup(OpenOurs)->Teardown(CloseOurs)->Threads(1)->UseRealTime();
BENCHMARK(LogLine_Reference)
    ->Setup(OpenReference)
    ->Teardown(CloseReference)
    ->Threads(1)
    ->UseRealTime();
BENCHMARK(LogLine_Ours)->Setup(OpenOurs)->Teardown(CloseOurs)->Threads(2)->UseRealTime();
BENCHMARK(LogLine_Reference)
    ->Setup(OpenReference)
    ->Teardown(CloseReference)
    ->Threads(2)
    ->UseRealTime();
BENCHMARK(MillionLines_Ours)
    ->Setup(OpenOurs)
    ->Teardown(CloseOurs)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(MillionLines_Reference)
    ->Setup(OpenReference)
    ->Teardown(CloseReference)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  fs::remove_all(BenchFolder(), ec);
  return 0;
}
