#include "platform/debug_break.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <string>
#endif

namespace marlin::platform {
namespace {

#ifndef _WIN32
bool Traced() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("TracerPid:", 0) == 0) return std::strtol(line.c_str() + 10, nullptr, 10) != 0;
  }
  return false;
}
#endif

}  // namespace

void DebugBreakIfAttached() {
#ifdef _WIN32
  if (IsDebuggerPresent()) DebugBreak();
#else
  if (!Traced()) return;
  // A tracer sees a signal even while it is ignored: a debugger stops on it, while a mere
  // tracer such as strace passes it on and the ignored signal does nothing. So nothing that
  // could end the process is ever delivered.
  struct sigaction ignore {};
  struct sigaction previous {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigset_t trap;
  sigset_t previousMask;
  sigemptyset(&trap);
  sigaddset(&trap, SIGTRAP);
  if (sigaction(SIGTRAP, &ignore, &previous) != 0) return;
  pthread_sigmask(SIG_UNBLOCK, &trap, &previousMask);
  std::raise(SIGTRAP);
  pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
  sigaction(SIGTRAP, &previous, nullptr);
#endif
}

}  // namespace marlin::platform
