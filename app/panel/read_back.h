#pragma once
// What the amplifier answered while the panel read its state: the driver's state query asks for
// the error queue, the band path and the RF output, and the device's host services pass every
// question and answer by here. The state code alone cannot tell a dead link (a recognised model
// whose queries all fail reads as Operate) or the band path.
#include <cstdint>
#include <optional>
#include <string>

#include "driver/cls_marlin.h"

namespace marlin::panel {

struct ReadBack {
  bool answered = false;                  // any query got an answer beyond the route's fill
  std::optional<std::string> bandAnswer;  // the last answer to the band path query
  std::optional<std::string> errorEntry;  // the last answer to the error-queue query
};

class ReadBackRecorder {
 public:
  void Begin() { heard_ = ReadBack{}; }
  ReadBack End();
  // A query and its answer as the route returned it; ignored while not recording.
  void Exchanged(const std::string& query, const std::string& answer);

 private:
  std::optional<ReadBack> heard_;
};

// The band path an answer names: 0 for none ("0", "NONE", the fill alone); nullopt for an
// answer that is no band path.
std::optional<std::int32_t> BandPathOf(const std::string& answer);

// The identification in one form on every route: "PA4520, serial 100001, SW:2.10". The GPIB
// route keeps the whole answer, the others model and firmware apart from the serial.
struct Identity {
  std::string model, serial, firmware;
  std::string Text() const;
};
Identity IdentityOf(const clsMarlin::Snapshot& fields);

}  // namespace marlin::panel
