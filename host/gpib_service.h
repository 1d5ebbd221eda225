#pragma once
// The stand-alone host's GPIB service: each board of the device list's [gpib] table served by
// its backend. Handles are small positive numbers. GpibOpen reports failure in the status word
// (0x8000) as the driver expects; a write or read that fails raises 4012 (the device is not
// usable: the connection check then gives its handle up) and sets the status word too.
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "driver/host_services.h"
#include "host/gpib_backend.h"

namespace marlin {

namespace gpib_status {
inline constexpr std::uint16_t kError = 0x8000;
inline constexpr std::uint16_t kTimeout = 0x4000;
inline constexpr std::uint16_t kEnd = 0x2000;
inline constexpr std::uint16_t kComplete = 0x0100;
}  // namespace gpib_status

// Longest answer one read takes; the rest of a longer one is dropped.
inline constexpr std::size_t kGpibReadLimit = std::size_t{64} * 1024;

class StandaloneGpib final : public HostGpib {
 public:
  explicit StandaloneGpib(std::map<int, std::unique_ptr<GpibBackend>> boards);
  ~StandaloneGpib() override;

  std::int16_t GpibStatus() override;
  bool GpibSucceeded() override;
  void GpibOpen(std::int16_t board, std::int16_t primaryAddress, std::int32_t secondaryAddress,
                std::int32_t timeoutCode, std::int32_t eoiMode, std::int32_t eosMode,
                std::int16_t& handle) override;
  void GpibPrepareClose(std::int16_t handle) override;
  void GpibClose(std::int16_t handle, std::int32_t mode) override;
  void GpibWrite(std::int16_t handle, const std::string& text) override;
  void GpibRead(std::int16_t handle, std::string& text) override;

  // Why the last failed call failed.
  const std::string& LastError() const { return lastError_; }
  std::size_t OpenHandles() const { return devices_.size(); }

 private:
  struct Opened;
  Opened& Find(std::int16_t handle, const char* operation);
  void Succeed(std::uint16_t status);
  [[noreturn]] void Raise(const GpibFailure& failure, const Opened& device);

  std::map<int, std::unique_ptr<GpibBackend>> boards_;
  std::map<std::int16_t, std::unique_ptr<Opened>> devices_;
  std::int16_t lastHandle_ = 0;
  std::uint16_t status_ = 0;
  bool succeeded_ = false;
  std::string lastError_;
};

// The backends every stand-alone host has: "linux-gpib" and "prologix".
GpibBackendKinds StandardGpibBackends();

// Builds the service from the [gpib] table (board number -> backend text). Raises 5 naming the
// board and its text for an unknown backend or a wrong target; nothing is connected yet.
std::unique_ptr<StandaloneGpib> MakeGpibService(const std::map<int, std::string>& boards,
                                                const std::shared_ptr<Clock>& clock,
                                                const GpibBackendKinds& kinds);

}  // namespace marlin
