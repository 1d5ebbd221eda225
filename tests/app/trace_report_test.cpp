// marlinctl trace-report end to end: a trace written by a real marlinctl shell session against
// marlin-sim over loopback, turned into a report that a real XML parser reads back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <set>

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

  // The procedures the session ran, and each record's time, from the trace itself; every record
  // names the device whose procedure wrote it.
  std::vector<std::string> procedures, times;
  std::set<std::string> named;
  for (const nlohmann::json& record : JsonLines(trace)) {
    if (record.value("event", "") == "start") procedures.push_back(record["procedure"]);
    ASSERT_TRUE(record.contains("time")) << record.dump();
    times.push_back(record["time"]);
    ASSERT_TRUE(record.contains("device")) << record.dump();
    named.insert(record["device"]);
  }
  EXPECT_EQ(named, (std::set<std::string>{"AMP1", "NOSUCH"}));
  ASSERT_FALSE(times.empty());
  EXPECT_TRUE(std::is_sorted(times.begin(), times.end())) << "one process writes in time order";

  const Finished run =
      RunToEnd({kMarlinctl, "trace-report", trace.string(), "-o", report.string()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(static_cast<mode_t>(std::filesystem::status(report).permissions()), 0666 & ~mask)
      << "a new report is as readable as any new file";
  EXPECT_THAT(run.out, HasSubstr(" records, 2 lanes, 1 error, ")) << "one failure, two handlers";
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
  EXPECT_THAT(html, HasSubstr("Errors</th><td>1"));
  EXPECT_THAT(html, HasSubstr("Longest waits"));
  // The switches' table: the first from a state nothing confirmed, the second from the first's.
  EXPECT_THAT(cells, ::testing::IsSupersetOf({"? → Operate", "Operate → Standby"}));
  EXPECT_EQ(std::count(cells.begin(), cells.end(), "done"), 2);
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

// The report replaces what -o names whole, or leaves it as it was: what is no regular file is
// refused before anything is written (a pipe would block the write, a device would take it),
// a read-only report is kept, a failed run leaves the report there. Nothing is left beside it.
TEST_F(TraceReport, ReplacesTheReportWholeOrLeavesWhatWasThere) {
  const auto trace =
      folder.Write("trace.jsonl",
                   "{\"event\":\"start\",\"procedure\":\"clsDevice_Check\",\"instance\":\"1\"}\n");
  const auto empty = folder.Write("empty.jsonl", "");
  const auto pipe = folder.Path() / "pipe.html";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  // A device node of our own where we may make one; the system's otherwise.
  std::filesystem::path device = folder.Path() / "full.html";
  if (mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0) device = "/dev/full";
  const auto readOnly = folder.Write("protected.html", "the user's report");
  std::filesystem::permissions(
      readOnly, std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
  const auto existing = folder.Write("existing.html", "an earlier report");
  std::filesystem::permissions(existing, std::filesystem::perms::owner_read |
                                             std::filesystem::perms::owner_write |
                                             std::filesystem::perms::group_read);
  struct Case {
    const char* what;
    std::filesystem::path input, output;
    int status;
    std::string message;
  };
  const Case cases[] = {
      {"a pipe", trace, pipe, 2, "exists and is not a regular file"},
      {"a device", trace, device, 2, "exists and is not a regular file"},
      {"a folder", trace, folder.Path(), 2, "exists and is not a regular file"},
      {"a read-only report", trace, readOnly, 4, "read-only"},
      {"a trace without records", empty, existing, 4, "holds no trace record"},
  };
  const auto entries = [&] {
    return std::distance(std::filesystem::directory_iterator(folder.Path()),
                         std::filesystem::directory_iterator());
  };
  const auto before = entries();
  for (const Case& c : cases) {
    const Finished run =
        RunToEnd({kMarlinctl, "trace-report", c.input.string(), "-o", c.output.string()});
    EXPECT_EQ(run.status, c.status) << c.what << ": " << run.err;
    EXPECT_THAT(run.err, HasSubstr(c.message)) << c.what;
  }
  EXPECT_TRUE(std::filesystem::is_fifo(pipe));
  EXPECT_TRUE(std::filesystem::is_character_file(device));
  EXPECT_EQ(TempFolder::Read(readOnly), "the user's report");
  EXPECT_EQ(TempFolder::Read(existing), "an earlier report");
  EXPECT_EQ(entries(), before) << "no temporary file left";

  // A good run replaces the earlier report, keeping its permissions.
  const Finished run =
      RunToEnd({kMarlinctl, "trace-report", trace.string(), "-o", existing.string()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(TempFolder::Read(existing), HasSubstr("<h1>Marlin trace report</h1>"));
  EXPECT_EQ(std::filesystem::status(existing).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                std::filesystem::perms::group_read);
  EXPECT_EQ(entries(), before);
}

}  // namespace
}  // namespace marlin::testing
