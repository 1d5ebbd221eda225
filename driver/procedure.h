#pragma once
// The trace and error convention shared by every working procedure:
//
//   Procedure proc(Services(), labels::kResetFault, Name);
//   proc.Start();
//   proc.Step([&] { SendCmdString("*CLS\r\n"); });
//   proc.Step([&] { Services().Tools().Wait(500); });
//   proc.End();
//
// Each Step is the unit that the host's answer 5 retries. Any other answer re-raises the error
// with the procedure's description form. Procedures with their own handler use Absorb.
#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "driver/host.h"
#include "driver/marlin_error.h"
#include "driver/procedure_labels.h"

namespace marlin {

// The number carried by every trace line and error report: the process id.
std::int32_t InstanceId();

// Applies a description form to a caught description.
std::string FormDescription(ErrorForm form, const std::string& deviceName,
                            const std::string& description);

class Procedure {
 public:
  // Traces and reports through `host`, whose innermost procedure it is while it runs.
  // `deviceName` is read when an error is raised or a record written, so a name changed by the
  // procedure counts.
  Procedure(Host& host, const ProcedureLabel& label, const std::string& deviceName);
  ~Procedure();
  Procedure(const Procedure&) = delete;
  Procedure& operator=(const Procedure&) = delete;

  void Start(const std::string& data = {});
  const std::string& DeviceName() const { return deviceName_; }
  void End();

  template <class F>
  auto Step(F&& work) -> std::invoke_result_t<F&> {
    for (;;) {
      try {
        return work();
      } catch (...) {
        HandleOrRaise(CurrentError());
      }
    }
  }

  // Runs `work` under a handler that absorbs the error and reports nothing; the caller decides
  // what follows from the error it gets back.
  template <class F>
  std::optional<MarlinError> Absorb(F&& work) {
    try {
      work();
      return std::nullopt;
    } catch (...) {
      return CurrentError();
    }
  }

 private:
  // Reports to the host; returns when the host asks for a retry, raises otherwise.
  void HandleOrRaise(const MarlinError& error);
  void WriteLine(bool start, const std::string& data);

  Host& host_;
  const ProcedureLabel& label_;
  const std::string& deviceName_;
  const Procedure* outer_;  // running in the context when this one began
};

}  // namespace marlin
