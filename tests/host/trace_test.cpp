#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/error_of.h"

#include <nlohmann/json.hpp>
#include <sstream>
#include <vector>

#include "driver/cls_marlin.h"
#include "driver/marlin_error.h"
#include "driver/procedure.h"
#include "host/standalone_host.h"
#include "host/thread_host.h"
#include "tests/host/temp_folder.h"

namespace marlin::testing {
namespace {

using ::testing::HasSubstr;
using Json = nlohmann::json;

std::vector<Json> JsonLines(const std::filesystem::path& file) {
  std::vector<Json> records;
  std::istringstream lines(TempFolder::Read(file));
  for (std::string line; std::getline(lines, line);) records.push_back(Json::parse(line));
  return records;
}

// A virtual clock's times count from the Unix epoch.
constexpr const char* kClockStart = "1970-01-01T00:00:00.000000Z";

Json TraceRecord(const char* event, const char* component, const char* className,
                 const char* procedure, const char* data, const char* device,
                 const char* time = kClockStart) {
  return Json{{"event", event},     {"component", component},
              {"class", className}, {"procedure", procedure},
              {"data", data},       {"instance", std::to_string(InstanceId())},
              {"device", device},   {"time", time}};
}

Json ReportRecord(std::int32_t number, const std::string& description, const char* device,
                  const char* time = kClockStart) {
  return Json{
      {"report",
       {{"number", number}, {"description", description}, {"instance", InstanceId()}, {"line", 0}}},
      {"device", device},
      {"time", time}};
}

class TraceFile : public ::testing::Test {
 protected:
  ~TraceFile() override { host::ResetThread(); }

  void UseHost(StandaloneHostConfig config) {
    if (!config.clock) config.clock = clock;
    config.deviceList = devices;
    config.traceFile = trace;
    StandaloneHostFactory factory(std::move(config));
    host::Replace(factory.MakeTrace(*host::ThreadContext()));
    host::Replace(factory.MakeDevList());
    host::Replace(factory.MakeTools());
    host::Replace(factory.MakeMessage(*host::ThreadContext()));
    host::Replace(factory.MakeWindows(*host::ThreadContext()));
  }

  TempFolder folder;
  std::filesystem::path devices = folder.Write("devices.toml", R"([devices.AMP1]
interface = 50
lan_address = "192.0.2.10:5025"
[devices.AMP2]
interface = 50
lan_address = "192.0.2.11:fifty"
)");
  std::filesystem::path trace = folder.Path() / "trace.jsonl";
  std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>();
};

TEST_F(TraceFile, HoldsOneObjectPerTraceCallAndPerErrorReport) {
  UseHost({});
  clsMarlin amp{host::ThreadContext()};
  amp.clsDevice_Name_Let("AMP1");
  EXPECT_THROW(amp.clsDevice_Name_Let("AMP2"), MarlinError);

  // Each record names the device whose procedure wrote it, a naming the device it names.
  EXPECT_EQ(JsonLines(trace),
            (std::vector<Json>{
                TraceRecord("start", "Telvar_Amplifier", "clsMarlin", "Let clsDevice_Name", "False",
                            "AMP1"),
                TraceRecord("start", "Telvar_Amplifier", "clsMarlin",
                            "clsIAmpRemote_GetParametersFromDevList", "", "AMP1"),
                TraceRecord("end", "", "", "clsIAmpRemote_GetParametersFromDeviceList", "", "AMP1"),
                TraceRecord("end", "", "", "Let clsDevice_Name", "", "AMP1"),
                TraceRecord("start", "Telvar_Amplifier", "clsMarlin", "Let clsDevice_Name", "False",
                            "AMP2"),
                TraceRecord("start", "Telvar_Amplifier", "clsMarlin",
                            "clsIAmpRemote_GetParametersFromDevList", "", "AMP2"),
                ReportRecord(13, "Type mismatch", "AMP2"),
                ReportRecord(13, "Type mismatch", "AMP2"),
            }));
}

TEST_F(TraceFile, RecordsOperatorMessagesAndMessageBoxesAndSurvivesBytesThatAreNotUtf8) {
  std::ostringstream console;
  StandaloneHostConfig config;
  config.console = &console;
  UseHost(config);
  std::int32_t style = 64;
  host::ThreadContext()->Message().ShowMessage("Restart the amplifier", style, "Marlin", 10000);
  host::ThreadContext()->Windows().ShowMessageBox("Fault \xff\xfe", "PA4520", 16);
  host::ThreadContext()->Trace().WriteTrace("start", "c", "k", "p", "\x80", "1");
  const std::string device = "AMP1";
  {
    Procedure running(*host::ThreadContext(), labels::kSetState, device);
    host::ThreadContext()->Windows().ShowMessageBox("Fault", "PA4520", 16);
  }

  const auto records = JsonLines(trace);
  ASSERT_EQ(records.size(), 4u);
  EXPECT_FALSE(records[0].contains("device")) << "shown outside every procedure";
  EXPECT_EQ(records[3]["device"], "AMP1") << "shown by a named object's procedure";
  EXPECT_EQ(
      records[0],
      (Json{{"message", {{"text", "Restart the amplifier"}, {"style", 64}, {"title", "Marlin"}}},
            {"time", kClockStart}}));
  EXPECT_EQ(records[1]["messagebox"]["title"], "PA4520");
  // Each byte that is not UTF-8 becomes U+FFFD.
  EXPECT_EQ(records[1]["messagebox"]["text"], "Fault \uFFFD\uFFFD");
  EXPECT_EQ(records[2]["procedure"], "p");
  EXPECT_EQ(records[2]["data"], "\uFFFD");
  EXPECT_THAT(console.str(), HasSubstr("Marlin: Restart the amplifier\n"));
  EXPECT_THAT(console.str(), HasSubstr("[PA4520] Fault"));
}

TEST_F(TraceFile, AnObserverSeesExactlyTheLinesTheFileGetsWithOrWithoutTheFile) {
  std::vector<std::string> seen;
  StandaloneHostConfig config;
  config.traceLines = [&seen](const std::string& line, const std::string& /*device*/) {
    seen.push_back(line);
  };
  UseHost(config);
  clsMarlin amp{host::ThreadContext()};
  EXPECT_THROW(amp.clsDevice_Name_Let("AMP2"), MarlinError);
  std::int32_t style = 0;
  host::ThreadContext()->Message().ShowMessage("Restart", style, "Marlin", 0);
  std::vector<std::string> written;
  std::istringstream lines(TempFolder::Read(trace));
  for (std::string line; std::getline(lines, line);) written.push_back(line);
  EXPECT_EQ(seen, written);
  EXPECT_EQ(seen.size(), 5u);

  // Without a file the observer alone gets them, and trace is on.
  seen.clear();
  std::vector<std::string> alone;
  StandaloneHostConfig memoryOnly;
  memoryOnly.deviceList = devices;
  memoryOnly.traceLines = [&alone](const std::string& line, const std::string& /*device*/) {
    alone.push_back(line);
  };
  StandaloneHostFactory factory(std::move(memoryOnly));
  host::Replace(factory.MakeTrace(*host::ThreadContext()));
  host::Replace(factory.MakeDevList());
  EXPECT_TRUE(host::ThreadContext()->Trace().TraceEnabled());
  amp.clsDevice_Name_Let("AMP1");
  EXPECT_EQ(alone.size(), 4u);
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(JsonLines(trace).size(), 5u);
}

// Each record carries the host clock's time when it was written, the last field of its line.
TEST_F(TraceFile, StampsEveryRecordWithTheHostClocksTimeAsItsLastField) {
  std::ostringstream console;
  StandaloneHostConfig config;
  config.console = &console;
  UseHost(config);
  clsMarlin amp{host::ThreadContext()};
  amp.clsDevice_Name_Let("AMP1");
  clock->Advance(std::chrono::milliseconds(1500) + std::chrono::microseconds(7));
  std::int32_t style = 64;
  host::ThreadContext()->Message().ShowMessage("Restart", style, "Marlin", 0);
  clock->Advance(std::chrono::hours(25));
  host::ThreadContext()->Windows().ShowMessageBox("Fault", "PA4520", 16);
  EXPECT_THROW(amp.clsDevice_Name_Let("AMP2"), MarlinError);

  const auto records = JsonLines(trace);
  ASSERT_EQ(records.size(), 10u);
  EXPECT_EQ(records[3]["time"], kClockStart);
  EXPECT_EQ(records[4]["time"], "1970-01-01T00:00:01.500007Z");
  EXPECT_EQ(records[5]["time"], "1970-01-02T01:00:01.500007Z");
  EXPECT_EQ(records[9], ReportRecord(13, "Type mismatch", "AMP2", "1970-01-02T01:00:01.500007Z"));
  std::istringstream lines(TempFolder::Read(trace));
  for (std::string line; std::getline(lines, line);) {
    EXPECT_THAT(line, ::testing::MatchesRegex(R"(\{.*,"time":"[-0-9T:.]+Z"\})")) << line;
  }
}

TEST(TraceService, AnswersEveryReportWithTheConfiguredValue) {
  TempFolder folder;
  for (std::int32_t answer : {0, 5}) {
    StandaloneHostConfig config;
    config.reportAnswer = answer;
    auto trace = StandaloneHostFactory(config).MakeTrace(*host::ThreadContext());
    EXPECT_FALSE(trace->TraceEnabled()) << "no sink configured";
    EXPECT_EQ(trace->ReportError(MarlinError(13, "Type mismatch"), 1, 0), answer);
  }
}

TEST(TraceService, TheTerminalSinkRendersTheSameCallsReadably) {
  std::ostringstream console;
  StandaloneHostConfig config;
  config.terminalTrace = true;
  config.console = &console;
  auto trace = StandaloneHostFactory(config).MakeTrace(*host::ThreadContext());
  ASSERT_TRUE(trace->TraceEnabled());
  trace->WriteTrace("start", "Telvar_Amplifier", "clsMarlin", "Let clsDevice_Name", "True", "42");
  trace->WriteTrace("end", "", "", "Let clsDevice_Name", "", "42");
  trace->ReportError(MarlinError(4040, "LAN send data failed!"), 42, 0);
  const std::string device = "AMP1";
  Procedure running(*host::ThreadContext(), labels::kSetState, device);
  trace->ReportError(MarlinError(4040, "LAN send data failed!"), 42, 0);
  EXPECT_EQ(console.str(),
            "trace start Let clsDevice_Name  Telvar_Amplifier/clsMarlin  data=True  #42\n"
            "trace end Let clsDevice_Name  #42\n"
            "error 4040: LAN send data failed!  #42 line 0\n"
            "error 4040: LAN send data failed!  #42 line 0  device=AMP1\n");
}

TEST(TraceService, ATraceFileThatCannotBeOpenedIsAClearError) {
  TempFolder folder;
  StandaloneHostConfig config;
  config.traceFile = folder.Path() / "no such folder" / "trace.jsonl";
  const MarlinError e = ErrorOf([&] { StandaloneHostFactory factory(config); });
  EXPECT_EQ(e.Number(), errors::kFileAccess);
  EXPECT_THAT(e.Description(), HasSubstr(config.traceFile.string()));
}

}  // namespace
}  // namespace marlin::testing
