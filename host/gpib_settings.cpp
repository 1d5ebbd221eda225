#include <array>
#include <string>

#include "driver/marlin_error.h"
#include "host/gpib_backend.h"

namespace marlin {
namespace {

using namespace std::chrono_literals;

constexpr int kEosCharMask = 0x00FF;
constexpr int kReadEndsAtEos = 0x0400;
constexpr int kEoiWithEos = 0x0800;
constexpr int kBinaryEos = 0x1000;
constexpr int kFirstSecondary = 96;
constexpr int kLastSecondary = 126;

// The NI-488.2 timeout codes T10us (1) to T1000s (17).
constexpr std::array<Clock::Duration, 18> kTimeouts = {0ns, 10us, 30us, 100us, 300us, 1ms,
                                                       3ms, 10ms, 30ms, 100ms, 300ms, 1s,
                                                       3s,  10s,  30s,  100s,  300s,  1000s};

[[noreturn]] void Refuse(const std::string& what) {
  throw MarlinError(errors::kInvalidArgument, "GpibOpen: " + what);
}

}  // namespace

GpibDeviceSettings DecodeGpibSettings(int board, int primary, int secondary, int timeoutCode,
                                      int eoiMode, int eosMode) {
  if (primary < 0 || primary > 30) {
    Refuse("primary address " + std::to_string(primary) + " is outside 0 to 30");
  }
  if (secondary != 0 && (secondary < kFirstSecondary || secondary > kLastSecondary)) {
    Refuse("secondary address " + std::to_string(secondary) + " is neither 0 nor 96 to 126");
  }
  if (timeoutCode < 1 || timeoutCode >= static_cast<int>(kTimeouts.size())) {
    Refuse("timeout code " + std::to_string(timeoutCode) +
           " is outside 1 to 17 (0 would wait for ever)");
  }
  if (eoiMode != 0 && eoiMode != 1) {
    Refuse("end-or-identify mode " + std::to_string(eoiMode) + " is neither 0 nor 1");
  }
  if ((eosMode & ~(kEosCharMask | kReadEndsAtEos | kEoiWithEos | kBinaryEos)) != 0) {
    Refuse("end-of-string mode " + std::to_string(eosMode) + " has unknown bits");
  }
  GpibDeviceSettings s;
  s.board = board;
  s.primary = primary;
  s.secondary = secondary;
  s.timeoutCode = timeoutCode;
  s.timeout = kTimeouts[static_cast<std::size_t>(timeoutCode)];
  s.eoiOnLastByte = eoiMode == 1;
  s.eosMode = eosMode;
  s.eosChar = static_cast<char>(eosMode & kEosCharMask);
  s.readEndsAtEos = (eosMode & kReadEndsAtEos) != 0;
  s.eoiWithEos = (eosMode & kEoiWithEos) != 0;
  return s;
}

}  // namespace marlin
