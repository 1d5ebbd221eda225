// Cost of the trace and error convention around one step, with tracing on and off.
#include <benchmark/benchmark.h>

#include "driver/procedure.h"
#include "host/thread_host.h"

namespace {

class CountingTrace : public marlin::HostTrace {
 public:
  bool enabled = true;
  std::int64_t lines = 0;
  bool TraceEnabled() override { return enabled; }
  std::int32_t ReportError(const marlin::MarlinError&, std::int32_t, std::int32_t) override {
    return 0;
  }
  void WriteTrace(const std::string&, const std::string&, const std::string&, const std::string&,
                  const std::string&, const std::string&) override {
    ++lines;
  }
};

void BM_TracedProcedure(benchmark::State& state) {
  auto trace = std::make_unique<CountingTrace>();
  trace->enabled = state.range(0) != 0;
  marlin::host::Replace(std::move(trace));
  std::string name = "AMP1";
  for (auto _ : state) {
    marlin::Procedure proc(*marlin::host::ThreadContext(), marlin::labels::kSendCmdString, name);
    proc.Start("Command = *CLS");
    benchmark::DoNotOptimize(proc.Step([] { return 42; }));
    proc.End();
  }
  marlin::host::ResetThread();
}
BENCHMARK(BM_TracedProcedure)->Arg(0)->Arg(1);

}  // namespace
