#pragma once
// What the stand-alone GPIB service needs from a board: open a device, write to it, read one
// answer from it. Each board of the device list's [gpib] table names its backend
// ("linux-gpib", "prologix://host:port", "sim:MODEL"); backends are registered by scheme.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include "clock/clock.h"

namespace marlin {

// A device's settings as GpibOpen gives them, decoded in the NI-488.2 conventions.
struct GpibDeviceSettings {
  int board = 0;
  int primary = 0;      // 0 to 30
  int secondary = 0;    // 0 (none) or 96 to 126
  int timeoutCode = 0;  // 1 to 17
  Clock::Duration timeout{};
  bool eoiOnLastByte = false;
  int eosMode = 0;  // the raw mode word
  char eosChar = '\n';
  bool readEndsAtEos = false;  // bit 0x0400
  bool eoiWithEos = false;     // bit 0x0800
};

// Decodes GpibOpen's arguments; raises 5 naming the argument that is out of range. A timeout
// code of 0 (wait for ever) is refused: every wait for an instrument ends.
GpibDeviceSettings DecodeGpibSettings(int board, int primary, int secondary, int timeoutCode,
                                      int eoiMode, int eosMode);

class GpibFailure : public std::runtime_error {
 public:
  enum class Kind { Timeout, Io, Unavailable };
  GpibFailure(Kind kind, const std::string& what) : std::runtime_error(what), kind_(kind) {}
  Kind GetKind() const { return kind_; }

 private:
  Kind kind_;
};

// One opened device. Failures throw GpibFailure.
class GpibDevice {
 public:
  virtual ~GpibDevice() = default;
  virtual void Write(const std::string& bytes) = 0;
  // One answer as the device sent it, terminator included, at most `limit` bytes.
  virtual std::string Read(std::size_t limit) = 0;
  // Returns the device to local control before it is closed.
  virtual void GoToLocal() = 0;
};

class GpibBackend {
 public:
  virtual ~GpibBackend() = default;
  // Throws GpibFailure when the device cannot be reached.
  virtual std::unique_ptr<GpibDevice> Open(const GpibDeviceSettings& settings) = 0;
};

// Makes a board's backend from the text after its scheme ("127.0.0.1:1234" for
// "prologix://127.0.0.1:1234", "PA4415" for "sim:PA4415"); throws std::invalid_argument when
// that text is wrong. Nothing is connected or loaded yet.
using GpibBackendMaker =
    std::function<std::unique_ptr<GpibBackend>(const std::string& target, std::shared_ptr<Clock>)>;
using GpibBackendKinds = std::map<std::string, GpibBackendMaker>;

}  // namespace marlin
