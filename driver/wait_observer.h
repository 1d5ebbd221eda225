#pragma once
// Told which of the driver's waits starts, just before the host's wait service is asked for it,
// so a host that shows progress names the wait by what the driver does, not by its length.
#include <cstdint>

namespace marlin {

// Each wait of the driver's wait table (control/wait_table.h).
enum class WaitId : std::uint8_t {
  PowerOn,
  AfterReset,
  PA4520Settling,
  ResetFault,
  Modulation,
  OutputOn,
  OutputOnPA4413,
  OutputOff,
  PowerOffConfirmation,
  PowerOnConfirmation,
  OperateConfirmation,
  OutputOffConfirmation,
  BandSwitch,
  QueryPause,
};

class WaitObserver {
 public:
  virtual ~WaitObserver() = default;
  // `milliseconds`: the length of this one wait; a poll is one of the activity's waits.
  virtual void DriverWaitStarts(WaitId id, double milliseconds) = 0;
};

}  // namespace marlin
