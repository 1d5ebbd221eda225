// A stand-alone host whose trace service answers 5 once: the failing step is retried, which
// breaks into a debugger if one is attached (the check the host installs). Prints "retried" and
// exits 0 when the process survives the break.
#include <cstdio>
#include <memory>

#include "driver/procedure.h"
#include "host/standalone_host.h"
#include "host/thread_host.h"
#include "tests/support/recording_trace.h"

int main() {
  using namespace marlin;
  InstallHostServiceFactory(std::make_shared<StandaloneHostFactory>(StandaloneHostConfig{}));
  auto trace = std::make_unique<testing::RecordingTrace>();
  trace->answers = {5};
  host::Replace(std::move(trace));
  const std::string name = "AMP1";
  Procedure proc(*host::ThreadContext(), labels::kResetFault, name);
  int attempts = 0;
  proc.Step([&] {
    if (++attempts == 1) throw MarlinError(errors::kTransport, "once");
  });
  std::printf("retried %d\n", attempts);
  host::ResetThread();
  InstallHostServiceFactory(nullptr);
  return 0;
}
