#include "driver/procedure.h"

#include <string>

#include "driver/host_registry.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#endif

namespace marlin {
namespace {
constexpr std::int32_t kRetry = 5;
constexpr std::int32_t kNoLineNumber = 0;

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

std::int32_t InstanceId() {
#ifdef _WIN32
  return static_cast<std::int32_t>(GetCurrentProcessId());
#else
  return static_cast<std::int32_t>(getpid());
#endif
}

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

std::string FormDescription(ErrorForm form, const std::string& deviceName,
                            const std::string& description) {
  switch (form) {
    case ErrorForm::Prefixed:
      return trace_text::kDevicePrefix + deviceName + description;
    case ErrorForm::PrefixedWithSeparator:
      return trace_text::kDevicePrefix + deviceName + trace_text::kSeparator + description;
    case ErrorForm::Plain:
    case ErrorForm::Own:
      break;
  }
  return description;
}

void Procedure::Start(const std::string& data) {
  if (label_.form == ErrorForm::Own) {
    Absorb([&] { WriteLine(true, data); });
  } else {
    Step([&] { WriteLine(true, data); });
  }
}

void Procedure::End() {
  if (label_.form == ErrorForm::Own) {
    Absorb([&] { WriteLine(false, {}); });
  } else {
    Step([&] { WriteLine(false, {}); });
  }
}

void Procedure::WriteLine(bool start, const std::string& data) {
  HostTrace& trace = host::Trace();
  if (!trace.TraceEnabled()) return;
  const std::string instance = std::to_string(InstanceId());
  if (start) {
    trace.WriteTrace(trace_text::kStart, trace_text::kComponent, trace_text::kClass, label_.start,
                     data, instance);
  } else {
    trace.WriteTrace(trace_text::kEnd, {}, {}, label_.end, {}, instance);
  }
}

void Procedure::HandleOrRaise(const MarlinError& error) {
  std::int32_t answer = 0;
  try {
    answer = host::Trace().ReportError(error, InstanceId(), kNoLineNumber);
  } catch (...) {
    // A trace service that cannot take the report must not hide the original error.
    answer = 0;
  }
  if (answer == kRetry) {
    DebugBreakIfAttached();
    return;
  }
  throw MarlinError(error.Number(), FormDescription(label_.form, deviceName_, error.Description()));
}

}  // namespace marlin
