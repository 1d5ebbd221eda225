#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host/device_list_file.h"
#include "tests/host/temp_folder.h"

extern char** environ;

namespace marlin::testing {
namespace {

using ::testing::HasSubstr;

constexpr int kWriters = 6;
constexpr int kDevicesEach = 6;
constexpr int kRounds = 4;
constexpr auto kLongestRun = std::chrono::seconds(90);

std::string DeviceName(int writer, int device) {
  return "P" + std::to_string(writer) + "D" + std::to_string(device);
}

std::string CommentOf(int writer, int device) {
  return "# bench " + std::to_string(writer) + ", amplifier " + std::to_string(device);
}

std::string SharedList() {
  std::string text = "# Lab devices -- shared by every bench\n";
  for (int w = 0; w < kWriters; ++w) {
    for (int d = 0; d < kDevicesEach; ++d) {
      text += "\n" + CommentOf(w, d) + "\n[devices." + DeviceName(w, d) +
              "]\ninterface = 50\nlan_address = \"192.0.2.1\"   # no port yet\n";
    }
  }
  return text;
}

// A writer process with its output in a file; killed if the test outlives it.
class Writer {
 public:
  Writer(const std::vector<std::string>& args, const std::filesystem::path& output)
      : output_(output) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Writer() {
    if (pid_ > 0 && !status_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  bool Started() const { return pid_ > 0; }
  // The wait status once the process ended; nothing while it runs.
  std::optional<int> Poll() {
    int status = 0;
    if (!status_ && pid_ > 0 && ::waitpid(pid_, &status, WNOHANG) == pid_) status_ = status;
    return status_;
  }
  // "P0D1" -> "P0D1:3": the last value this writer was told it stored for each device.
  std::map<std::string, std::string> Acknowledged() const {
    std::map<std::string, std::string> last;
    std::ifstream in(output_);
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("ok ", 0) != 0) continue;
      const std::string value = line.substr(3);
      last[value.substr(0, value.find(':'))] = value;
    }
    return last;
  }

 private:
  pid_t pid_ = -1;
  std::filesystem::path output_;
  std::optional<int> status_;
};

bool AllEnded(std::vector<std::unique_ptr<Writer>>& writers) {
  const auto deadline = std::chrono::steady_clock::now() + kLongestRun;
  for (;;) {
    bool running = false;
    for (auto& w : writers) running = running || !w->Poll();
    if (!running) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

TEST(DeviceListConcurrentWriters, EveryAcknowledgedRepairSurvivesWritersThatDieMidWrite) {
  TempFolder folder;
  TempFolder outputs;
  const std::string original = SharedList();
  const auto path = folder.Write("devices.toml", original);
  // These writers kill themselves in the middle of one of their stores.
  const std::map<int, int> dyingAt{{1, 5}, {3, 11}, {4, 17}};

  std::vector<std::unique_ptr<Writer>> writers;
  for (int w = 0; w < kWriters; ++w) {
    std::vector<std::string> args{DEVICE_LIST_WRITER_PATH, path.string(), std::to_string(kRounds)};
    if (auto dies = dyingAt.find(w); dies != dyingAt.end()) {
      args.insert(args.end(), {"--die-at", std::to_string(dies->second)});
    }
    for (int d = 0; d < kDevicesEach; ++d) args.push_back(DeviceName(w, d));
    writers.push_back(
        std::make_unique<Writer>(args, outputs.Path() / ("writer" + std::to_string(w) + ".out")));
    ASSERT_TRUE(writers.back()->Started());
  }
  ASSERT_TRUE(AllEnded(writers)) << "the writers did not finish in time";

  const DeviceList list = DeviceListFile(path).Current();
  for (int w = 0; w < kWriters; ++w) {
    const int status = *writers[w]->Poll();
    const auto acknowledged = writers[w]->Acknowledged();
    if (dyingAt.count(w)) {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "writer " << w;
      EXPECT_EQ(acknowledged.size(), std::min<std::size_t>(dyingAt.at(w) - 1, kDevicesEach));
    } else {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer " << w;
      EXPECT_EQ(acknowledged.size(), static_cast<std::size_t>(kDevicesEach));
    }
    for (int d = 0; d < kDevicesEach; ++d) {
      const std::string device = DeviceName(w, d);
      const auto ack = acknowledged.find(device);
      EXPECT_EQ(list.devices.at(device).lanAddress,
                ack == acknowledged.end() ? "192.0.2.1" : ack->second)
          << "the last repair acknowledged for " << device;
    }
  }
  const std::string text = TempFolder::Read(path);
  EXPECT_THAT(text, HasSubstr("# Lab devices -- shared by every bench\n"));
  for (int w = 0; w < kWriters; ++w) {
    for (int d = 0; d < kDevicesEach; ++d) EXPECT_THAT(text, HasSubstr(CommentOf(w, d) + "\n"));
  }

  // Writers died last with their temporary files in place; the next writer clears them.
  std::vector<std::unique_ptr<Writer>> last;
  last.push_back(std::make_unique<Writer>(
      std::vector<std::string>{DEVICE_LIST_WRITER_PATH, path.string(), "1", "P0D0"},
      outputs.Path() / "last.out"));
  ASSERT_TRUE(AllEnded(last));
  EXPECT_EQ(folder.Entries(), 1u) << "no temporary file is left behind";
}

}  // namespace
}  // namespace marlin::testing
