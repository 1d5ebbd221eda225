// Simulator throughput over loopback TCP (64 amplifiers, one client each) and its memory cost
// per amplifier.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <vector>

#include "clock/clock.h"
#include "sim/amplifier.h"
#include "sim/tcp_front.h"
#include "tests/sim/line_client.h"

namespace {

using namespace marlin;
using namespace marlin::sim;

constexpr int kAmplifiers = 64;

AmplifierConfig PoweredOnBand2() {
  AmplifierConfig config;
  config.initial.powerOn = true;
  config.initial.bandPath = 2;
  return config;
}

// Heap in use: robust against memory freed by earlier benchmarks and reused.
std::size_t HeapBytes() {
  const struct mallinfo2 info = ::mallinfo2();
  return info.uordblks + info.hblkhd;
}

std::size_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  std::size_t pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

// First, while the heap is fresh: resident memory added by 64 amplifiers, each on a socket front
// with one connected client that has asked 100 queries (a transcript partly filled).
void MemoryPerAmplifier(benchmark::State& state) {
  for (auto _ : state) {
    const std::size_t heapBefore = HeapBytes();
    const std::size_t before = ResidentBytes();
    auto clock = std::make_shared<VirtualClock>();
    std::vector<std::shared_ptr<Amplifier>> amps;
    std::vector<std::unique_ptr<TcpFront>> fronts;
    std::vector<std::unique_ptr<testing::LineClient>> clients;
    for (int i = 0; i < kAmplifiers; ++i) {
      amps.push_back(std::make_shared<Amplifier>(PoweredOnBand2(), clock));
      fronts.push_back(std::make_unique<TcpFront>(amps.back()));
      clients.push_back(std::make_unique<testing::LineClient>(fronts.back()->Port()));
      for (int q = 0; q < 100; ++q) clients.back()->Query("RF:BAND:PATH?");
    }
    const std::size_t after = ResidentBytes();
    const std::size_t heapAfter = HeapBytes();
    // Resident memory also counts the I/O thread's stack and the client's side; it reads low
    // when the heap reuses what earlier benchmarks freed.
    state.counters["resident_bytes_per_amplifier"] =
        static_cast<double>(after - before) / static_cast<double>(kAmplifiers);
    state.counters["heap_bytes_per_amplifier"] =
        static_cast<double>(heapAfter - heapBefore) / static_cast<double>(kAmplifiers);
  }
}
BENCHMARK(MemoryPerAmplifier)->Iterations(1)->Unit(benchmark::kMillisecond);

// Each benchmark thread is one client of its own amplifier, on its own socket front.
void QueriesOver64Amplifiers(benchmark::State& state) {
  auto amp = std::make_shared<Amplifier>(PoweredOnBand2(), std::make_shared<VirtualClock>());
  TcpFront front(amp);
  testing::LineClient client(front.Port());
  for (auto _ : state) {
    const std::string answer = client.Query("RF:BAND:PATH?");
    if (answer != "2\n") {
      state.SkipWithError("wrong answer");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(QueriesOver64Amplifiers)->Threads(kAmplifiers)->UseRealTime()->MinTime(2.0);

// Parsing and answering alone, without sockets.
void InProcessQuery(benchmark::State& state) {
  Amplifier amp(PoweredOnBand2(), std::make_shared<VirtualClock>());
  for (auto _ : state) benchmark::DoNotOptimize(amp.Handle("RF:BAND:PATH?"));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(InProcessQuery);

}  // namespace
