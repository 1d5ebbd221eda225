#include "platform/removed_on_termination.h"

#include <signal.h>
#include <unistd.h>

#include <cstring>

namespace marlin::platform {
namespace {

// A signal handler may only use what it finds ready: fixed buffers, set before it is installed.
constexpr std::size_t kLongestPath = 4096;
char fileToRemove[kLongestPath];
char folderToRemove[kLongestPath];
struct sigaction previousInt {};
struct sigaction previousTerm {};

extern "C" void RemoveAndEnd(int signal) {
  ::unlink(fileToRemove);
  ::rmdir(folderToRemove);
  sigaction(signal, signal == SIGINT ? &previousInt : &previousTerm, nullptr);
  ::raise(signal);
}

void Copy(char (&to)[kLongestPath], const std::filesystem::path& from) {
  std::strncpy(to, from.c_str(), kLongestPath - 1);
  to[kLongestPath - 1] = '\0';
}

}  // namespace

RemovedOnTermination::RemovedOnTermination(const std::filesystem::path& file,
                                           const std::filesystem::path& folder) {
  Copy(fileToRemove, file);
  Copy(folderToRemove, folder);
  struct sigaction remove {};
  remove.sa_handler = &RemoveAndEnd;
  sigemptyset(&remove.sa_mask);
  sigaction(SIGINT, &remove, &previousInt);
  sigaction(SIGTERM, &remove, &previousTerm);
}

RemovedOnTermination::~RemovedOnTermination() {
  sigaction(SIGINT, &previousInt, nullptr);
  sigaction(SIGTERM, &previousTerm, nullptr);
}

}  // namespace marlin::platform
