// The session timeline of long traces: reading and drawing 10,000 and 100,000 trace lines, as
// SVG and as the HTML report, with the size of what comes out.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/timeline/timeline.h"

namespace {

// A session as the trace file holds it: state reads with their instrument lines, a switch with
// its waits now and then, an error report every thousand calls.
std::vector<std::string> SessionLines(std::size_t count) {
  std::vector<std::string> lines;
  lines.reserve(count);
  long long micros = 0;
  auto next = [&] {
    micros += 1700;
    char time[40];
    std::snprintf(time, sizeof time, "2026-12-08T%02lld:%02lld:%02lld.%06lldZ",
                  micros / 3600000000 % 24, micros / 60000000 % 60, micros / 1000000 % 60,
                  micros % 1000000);
    return std::string(time);
  };
  auto line = [&](const char* event, const char* procedure, const char* data) {
    const std::string time = next();
    lines.push_back(
        std::string("{\"event\":\"") + event +
        "\",\"component\":\"Telvar_Amplifier\",\"class\":\"clsMarlin\",\"procedure\":\"" +
        procedure + "\",\"data\":\"" + data + "\",\"instance\":\"4711\",\"time\":\"" + time +
        "\"}");
  };
  for (std::size_t call = 0; lines.size() < count; ++call) {
    if (call % 50 == 0) {
      line("start", "clsIAmpRemote_SetState", "NewState = Operate");
      line("start", "SetNewState", "NewState = Operate");
      line("start", "ActivateBand", "");
      line("start", "SendCmdString", "Command = RF:BAND:PATH 2\\r\\n");
      line("end", "SendCmdString", "");
      line("end", "ActivateBand", "");
      line("start", "WaitForComplete", "Command = RF:OUTP:STAT?");
      line("end", "WaitForComplete", "");
      line("end", "SetNewState", "");
      line("end", "clsIAmpRemote_SetState", "");
    }
    line("start", "clsIAmpRemote_GetState", "");
    line("start", "GetState", "");
    line("start", "ReadCmdResponse", "");
    line("end", "ReadCmdResponse", "");
    line("end", "GetState", "");
    line("end", "clsIAmpRemote_GetState", "");
    if (call % 1000 == 999) {
      lines.push_back(
          "{\"report\":{\"number\":4040,\"description\":\"LAN send data "
          "failed!\",\"instance\":4711,"
          "\"line\":0},\"time\":\"" +
          next() + "\"}");
    }
  }
  lines.resize(count);
  return lines;
}

void BM_RenderSvg(benchmark::State& state) {
  const auto lines = SessionLines(static_cast<std::size_t>(state.range(0)));
  std::size_t bytes = 0;
  for (auto _ : state) {
    const std::string svg = marlin::timeline::RenderSvg(lines);
    bytes = svg.size();
    benchmark::DoNotOptimize(svg.data());
  }
  state.counters["svg_bytes"] = static_cast<double>(bytes);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_RenderSvg)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_RenderReportHtml(benchmark::State& state) {
  const auto lines = SessionLines(static_cast<std::size_t>(state.range(0)));
  std::size_t bytes = 0;
  for (auto _ : state) {
    const std::string html = marlin::timeline::RenderReportHtml(lines, "bench.jsonl");
    bytes = html.size();
    benchmark::DoNotOptimize(html.data());
  }
  state.counters["html_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_RenderReportHtml)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
