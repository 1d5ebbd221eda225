#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "app/line_source.h"
#include "app/shell_console.h"
#include "app/shell_syntax.h"
#include "host/thread_host.h"

namespace marlin::cli {
namespace {

using ::testing::ElementsAre;
using ::testing::StartsWith;

// The console on a driver object with no host installed: calls that need a host service fail
// with the driver's own 429, which is all the loop needs to show.
class Console : public ::testing::Test {
 protected:
  Console() {
    InstallHostServiceFactory(nullptr);
    host::ResetThread();
  }
  ~Console() override { host::ResetThread(); }

  std::vector<std::string> Run(const std::string& script) {
    std::istringstream in(script);
    StreamLines lines(in, kLongestShellLine);
    ShellSession session;
    std::ostringstream out;
    RunConsole(lines, session, out);
    unread = std::string(std::istreambuf_iterator<char>(in), {});
    std::vector<std::string> result;
    std::istringstream printed(out.str());
    for (std::string line; std::getline(printed, line);) result.push_back(line);
    return result;
  }

  std::string unread;
};

TEST_F(Console, AnswersEachCommandWithOneLineAndGoesOnAfterErrors) {
  EXPECT_THAT(Run("get devicetype\n\n   \nbogus\nname AMP1\nget status\ninterfaces x\nquit\n"),
              ElementsAre("ok \"PA4400 Amplifier\"", StartsWith("error 0 \"unknown command"),
                          "error 429 \"ActiveX component can't create object: HostTrace\"", "ok 0",
                          "ok [10,50,60]", "ok"));
}

TEST_F(Console, QuitStopsReading) {
  EXPECT_THAT(Run("quit\nget name\n"), ElementsAre("ok"));
  EXPECT_EQ(unread, "get name\n");
}

TEST_F(Console, EndOfInputEndsLikeQuitAndTheLastLineNeedsNoLineFeed) {
  EXPECT_THAT(Run("get address"), ElementsAre("ok 7"));
}

TEST_F(Console, ReleaseLeavesNoObjectUntilNew) {
  EXPECT_THAT(Run("release\nget name\nrelease\nnew\nget info\n"),
              ElementsAre("ok", StartsWith("error 0 \"there is no driver object"),
                          StartsWith("error 0 \"there is no driver object"), "ok",
                          R"(ok ["","","","---.---.---.---:5025"])"));
}

TEST_F(Console, AnOverlongLineIsRefusedWholeAndTheNextOneRuns) {
  const std::string huge = "name " + std::string(3 * kLongestShellLine, 'x');
  EXPECT_THAT(Run(huge + "\nget name\n"),
              ElementsAre(StartsWith("error 0 \"the line is longer than"), "ok \"\""));
}

}  // namespace
}  // namespace marlin::cli
