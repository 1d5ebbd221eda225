#pragma once
// What a script does with one amplifier: name it, connect, identify, read and switch its state,
// reset a fault, read its errors, disconnect. A thin layer over the driver object and the
// stand-alone host, so the binding does not depend on how the app arranges them.
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "driver/records.h"

namespace marlin {
class clsMarlin;
}
namespace marlin::cli {
class HostSetup;
}

namespace marlin::python {

// The amplifier is not connected: a connection that failed (with the host's reason) or a call
// that needs one.
class NotConnected : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Identification {
  std::string identification;  // the answer the driver recorded
  std::string serial;
  double firmware = 0;
  std::string model;
};

class AmplifierSession {
 public:
  // Names the device (reads the device list); raises the driver's error for a name it lacks.
  AmplifierSession(std::string device, const cli::HostSetup& host);
  // Disconnects first when connected.
  ~AmplifierSession();
  AmplifierSession(const AmplifierSession&) = delete;
  AmplifierSession& operator=(const AmplifierSession&) = delete;

  const std::string& Device() const { return device_; }
  bool Connected() const;
  // Throws NotConnected with the host's reason when the amplifier is not reached or accepted.
  void Connect();
  void Disconnect();
  // What the connection's identification read. The others throw NotConnected unless connected.
  Identification Identify() const;
  std::int32_t State();
  // `params` unset: the band path, mode and class given before (or none) hold.
  void SetState(std::int32_t state, const std::optional<AmplParamsRecord>& params);
  void ResetFault();
  void Initialize();
  // Reads the queue until it is empty, an entry repeats (a latched fault) or `most` are read;
  // oldest first.
  std::vector<std::string> Errors(std::int32_t most);

 private:
  void RequireConnection() const;

  std::string device_;
  const cli::HostSetup& host_;
  std::unique_ptr<clsMarlin> amp_;
};

}  // namespace marlin::python
