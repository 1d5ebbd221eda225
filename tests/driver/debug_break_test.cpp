// The debug break of a retried step, in a child process run bare, under strace and under gdb.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace marlin::testing {
namespace {

using ::testing::HasSubstr;

struct ChildRun {
  int exitCode = -1;  // -1 when the process did not exit normally
  std::string output;
};

ChildRun RunShell(const std::string& command) {
  ChildRun run;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return run;
  std::array<char, 512> chunk{};
  while (std::fgets(chunk.data(), chunk.size(), pipe) != nullptr) run.output += chunk.data();
  const int status = ::pclose(pipe);
  if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  return run;
}

bool Available(const char* tool) {
  return RunShell(std::string("command -v ") + tool + " >/dev/null").exitCode == 0;
}

// A leak checker stops the world with ptrace, which fails while another tracer holds the process.
const std::string kProbe = std::string("ASAN_OPTIONS=detect_leaks=0 ") + MARLIN_DEBUG_BREAK_PROBE;

TEST(DebugBreak, WithoutATracerTheRetryGoesOn) {
  const ChildRun run = RunShell(kProbe);
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_THAT(run.output, HasSubstr("retried 2"));
}

TEST(DebugBreak, UnderStraceTheRetryGoesOn) {
  if (!Available("strace")) GTEST_SKIP() << "strace is not installed (scripts/deps.sh test)";
  const ChildRun run = RunShell("strace -f -o /dev/null env " + kProbe);
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_THAT(run.output, HasSubstr("retried 2"));
}

TEST(DebugBreak, UnderGdbTheRetryStopsInTheDebugger) {
  if (!Available("gdb")) GTEST_SKIP() << "gdb is not installed (scripts/deps.sh test)";
  const ChildRun run = RunShell("gdb -nx -batch -ex run -ex continue --args env " + kProbe);
  EXPECT_THAT(run.output, HasSubstr("SIGTRAP")) << "the debugger saw the break";
  EXPECT_THAT(run.output, HasSubstr("retried 2")) << "and the host goes on after it";
}

}  // namespace
}  // namespace marlin::testing
