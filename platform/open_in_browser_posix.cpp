#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <thread>

#include "platform/open_in_browser.h"

extern char** environ;

namespace marlin::platform {

// xdg-open asks the desktop for the user's browser; its exit is collected on a thread of its
// own, so no child is left behind unwaited.
bool OpenInBrowser(const std::string& url) {
  std::string program = "xdg-open";
  std::string address = url;
  char* arguments[] = {program.data(), address.data(), nullptr};
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  const int spawned = posix_spawnp(&child, "xdg-open", &quiet, nullptr, arguments, environ);
  posix_spawn_file_actions_destroy(&quiet);
  if (spawned != 0) return false;
  std::thread([child] {
    int status = 0;
    waitpid(child, &status, 0);
  }).detach();
  return true;
}

}  // namespace marlin::platform
