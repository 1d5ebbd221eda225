// marlinctl trace-report end to end: a trace written by a real marlinctl shell session against
// marlin-sim over loopback, turned into a report that a real XML parser reads back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/app/e2e_fixture.h"
#include "tests/app/xml_check.h"

namespace marlin::testing {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

class TraceReport : public ::testing::Test {
 protected:
  TempFolder folder;
  std::filesystem::path report = folder.Path() / "report.html";
};

TEST_F(TraceReport, DrawsEveryProcedureWaitAndErrorOfAShellSession) {
  SimProcess sim({"--model", "PA4415", "--power", "on"}, folder.Path() / "transcript.jsonl");
  const auto devices = folder.Write("devices.toml", DeviceListFor(TestRoute::Lan, sim));
  const auto trace = folder.Path() / "trace.jsonl";
  // Operate and Standby with their confirmation waits, then a name the list does not hold.
  const Finished shell =
      RunToEnd({kMarlinctl, "shell", "--devices", devices.string(), "--trace", trace.string(),
                "--time-scale", kTimeScale},
               "name AMP1\nstatus 1\ncheck\ninitialize\n"
               "amplparams bandpath=2 outputmode=0 operatingclass=1\nsetstate 3\ngetstate\n"
               "checkforerror\nsetstate 2\nstatus 0\ncheck\nname NOSUCH\nquit\n");
  ASSERT_EQ(shell.status, 0) << shell.err;
  const std::vector<std::string> results = Lines(shell.out);
  ASSERT_EQ(results.size(), 13u) << shell.out;
  ASSERT_THAT(results[11], ::testing::StartsWith("error ")) << "the provoked error";
  const std::string errorNumber = results[11].substr(6, results[11].find(' ', 6) - 6);

  // The procedures the session ran, and each record's time, from the trace itself.
  std::vector<std::string> procedures, times;
  for (const nlohmann::json& record : JsonLines(trace)) {
    if (record.value("event", "") == "start") procedures.push_back(record["procedure"]);
    ASSERT_TRUE(record.contains("time")) << record.dump();
    times.push_back(record["time"]);
  }
  ASSERT_FALSE(times.empty());
  EXPECT_TRUE(std::is_sorted(times.begin(), times.end())) << "one process writes in time order";

  const Finished run =
      RunToEnd({kMarlinctl, "trace-report", trace.string(), "-o", report.string()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_THAT(run.out, HasSubstr(" records, 1 instance, "));
  const std::string html = TempFolder::Read(report);
  const XmlDocument doc = ParseXml(html);
  ASSERT_TRUE(doc.wellFormed) << doc.error;
  EXPECT_EQ(doc.elements.front().name, "html");
  EXPECT_THAT(doc.ExternalReferences(), IsEmpty());
  std::size_t svgs = 0;
  for (const XmlElement& e : doc.elements) svgs += e.name == "svg";
  EXPECT_EQ(svgs, 1u);

  const std::vector<std::string> titles = doc.TextsOf("title");
  for (const std::string& procedure : procedures) {
    if (procedure == "SendCmdString" || procedure == "ReadCmdResponse") continue;
    EXPECT_THAT(titles, Contains(::testing::StartsWith(procedure))) << procedure;
  }
  EXPECT_THAT(titles, Contains(HasSubstr("sent: RF:BAND:PATH 2")));
  EXPECT_THAT(titles, Contains(HasSubstr("answer read")));
  EXPECT_THAT(titles,
              Contains(HasSubstr("limit of waiting for Operate to be confirmed: 30.500 s")));
  EXPECT_THAT(
      titles,
      Contains(HasSubstr("limit of waiting for the RF output off to be confirmed: 15.500 s")));
  EXPECT_THAT(titles,
              Contains(HasSubstr("limit of waiting for the band path to switch: 17.500 s")));
  EXPECT_THAT(titles, Contains(HasSubstr("error " + errorNumber + ": ")));
  EXPECT_THAT(titles, Contains(HasSubstr("no end line: ended by an error")));

  // The summary and the axis give the session's times, first to last.
  const std::vector<std::string> cells = doc.TextsOf("td");
  EXPECT_THAT(cells, Contains(times.front()));
  EXPECT_THAT(cells, Contains(times.back()));
  std::vector<double> axis;
  for (const XmlElement& e : doc.elements) {
    if (e.name == "text" && e.attributes.count("class") &&
        e.attributes.at("class") == "axis-label") {
      axis.push_back(std::stod(e.text.substr(1)));
    }
  }
  ASSERT_GE(axis.size(), 2u);
  EXPECT_TRUE(std::is_sorted(axis.begin(), axis.end()));
  EXPECT_THAT(html, HasSubstr("Errors</th><td>"));
  EXPECT_THAT(html, HasSubstr("Longest waits"));
}

// The files a report cannot be made from, each a clear error with the configuration status.
TEST_F(TraceReport, RefusesWhatIsNoTraceAndWarnsOfBrokenLines) {
  const auto empty = folder.Write("empty.jsonl", "");
  const auto junk = folder.Write("junk.jsonl", "hello\n{\"a\":1}\n");
  const auto torn =
      folder.Write("torn.jsonl",
                   "{\"event\":\"start\",\"procedure\":\"clsDevice_Check\",\"instance\":\"1\"}\n"
                   "{\"event\":\"end\",\"procedure\":\"clsDevice_Check\",\"instance\":\"1\"}\n"
                   "{\"event\":\"start\",\"proc");
  struct Case {
    const char* what;
    std::vector<std::string> args;
    int status;
    std::string message;
  };
  const Case cases[] = {
      {"missing file",
       {"trace-report", (folder.Path() / "none.jsonl").string(), "-o", report.string()},
       4,
       "no trace file"},
      {"a folder",
       {"trace-report", folder.Path().string(), "-o", report.string()},
       4,
       "is not a regular file"},
      {"empty",
       {"trace-report", empty.string(), "-o", report.string()},
       4,
       "holds no trace record"},
      {"no record at all",
       {"trace-report", junk.string(), "-o", report.string()},
       4,
       "holds no trace record; line 1: not a JSON object"},
      {"no -o", {"trace-report", torn.string()}, 2, "-o REPORT.html is missing"},
      {"the report would replace the trace",
       {"trace-report", torn.string(), "-o", torn.string()},
       2,
       "would replace the trace"},
      {"report not writable",
       {"trace-report", torn.string(), "--output", (folder.Path() / "no" / "r.html").string()},
       4,
       "cannot write the report"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> argv{kMarlinctl};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const Finished run = RunToEnd(argv);
    EXPECT_EQ(run.status, c.status) << c.what << ": " << run.err;
    EXPECT_THAT(run.err, HasSubstr(c.message)) << c.what;
    EXPECT_FALSE(std::filesystem::exists(report)) << c.what;
  }

  // A torn last line, as a process that died while writing leaves it: skipped, named.
  const Finished run = RunToEnd({kMarlinctl, "trace-report", torn.string(), "-o", report.string()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.err, HasSubstr("line 3 is no trace record; skipped"));
  const XmlDocument doc = ParseXml(TempFolder::Read(report));
  ASSERT_TRUE(doc.wellFormed) << doc.error;
  EXPECT_THAT(doc.TextsOf("title"), Contains(::testing::StartsWith("clsDevice_Check")));
}

}  // namespace
}  // namespace marlin::testing
