#include "host/gpib_service.h"

#include <limits>
#include <stdexcept>

#include "driver/marlin_error.h"
#include "host/gpib_linux.h"
#include "host/gpib_prologix.h"

namespace marlin {
namespace {

constexpr std::int16_t kNoHandle = -1;
constexpr const char* kSchemeSeparator = ":";
constexpr const char* kAuthorityMark = "//";

std::string DeviceName(const GpibDeviceSettings& s) {
  return "GPIB board " + std::to_string(s.board) + ", address " + std::to_string(s.primary);
}

}  // namespace

struct StandaloneGpib::Opened {
  GpibDeviceSettings settings;
  std::unique_ptr<GpibDevice> device;
};

StandaloneGpib::StandaloneGpib(std::map<int, std::unique_ptr<GpibBackend>> boards)
    : boards_(std::move(boards)) {}

StandaloneGpib::~StandaloneGpib() = default;

std::int16_t StandaloneGpib::GpibStatus() { return static_cast<std::int16_t>(status_); }

bool StandaloneGpib::GpibSucceeded() { return succeeded_; }

void StandaloneGpib::Succeed(std::uint16_t status) {
  status_ = status;
  succeeded_ = true;
}

StandaloneGpib::Opened& StandaloneGpib::Find(std::int16_t handle, const char* operation) {
  auto it = devices_.find(handle);
  if (it == devices_.end()) {
    status_ = gpib_status::kError;
    succeeded_ = false;
    lastError_ =
        std::string(operation) + ": GPIB handle " + std::to_string(handle) + " is not open";
    throw MarlinError(errors::kGpibGiveUp, lastError_);
  }
  return *it->second;
}

void StandaloneGpib::Raise(const GpibFailure& failure, const Opened& device) {
  status_ = gpib_status::kError;
  if (failure.GetKind() == GpibFailure::Kind::Timeout) status_ |= gpib_status::kTimeout;
  succeeded_ = false;
  lastError_ = DeviceName(device.settings) + ": " + failure.what();
  throw MarlinError(errors::kGpibGiveUp, lastError_);
}

void StandaloneGpib::GpibOpen(std::int16_t board, std::int16_t primaryAddress,
                              std::int32_t secondaryAddress, std::int32_t timeoutCode,
                              std::int32_t eoiMode, std::int32_t eosMode, std::int16_t& handle) {
  handle = kNoHandle;
  status_ = gpib_status::kError;
  succeeded_ = false;
  auto backend = boards_.find(board);
  if (backend == boards_.end()) {
    lastError_ = "GpibOpen: GPIB board " + std::to_string(board) +
                 " has no backend in the device list's [gpib] table";
    return;
  }
  auto opened = std::make_unique<Opened>();
  try {
    opened->settings =
        DecodeGpibSettings(board, primaryAddress, secondaryAddress, timeoutCode, eoiMode, eosMode);
    opened->device = backend->second->Open(opened->settings);
  } catch (const MarlinError& e) {
    lastError_ = e.Description();
    return;
  } catch (const GpibFailure& e) {
    lastError_ = "GpibOpen: " + DeviceName(opened->settings) + ": " + e.what();
    return;
  }
  do {
    lastHandle_ = lastHandle_ == std::numeric_limits<std::int16_t>::max()
                      ? std::int16_t{1}
                      : static_cast<std::int16_t>(lastHandle_ + 1);
  } while (devices_.count(lastHandle_) != 0);
  devices_.emplace(lastHandle_, std::move(opened));
  handle = lastHandle_;
  Succeed(gpib_status::kComplete);
}

void StandaloneGpib::GpibPrepareClose(std::int16_t handle) {
  Opened& d = Find(handle, "GpibPrepareClose");
  try {
    d.device->GoToLocal();
  } catch (const GpibFailure& e) {
    Raise(e, d);
  }
  Succeed(gpib_status::kComplete);
}

void StandaloneGpib::GpibClose(std::int16_t handle, std::int32_t) {
  // Closing gives the handle up whatever happens; an unknown handle has nothing to give up.
  if (devices_.erase(handle) == 0) {
    status_ = gpib_status::kError;
    succeeded_ = false;
    lastError_ = "GpibClose: GPIB handle " + std::to_string(handle) + " is not open";
    return;
  }
  Succeed(gpib_status::kComplete);
}

void StandaloneGpib::GpibWrite(std::int16_t handle, const std::string& text) {
  Opened& d = Find(handle, "GpibWrite");
  try {
    d.device->Write(text);
  } catch (const GpibFailure& e) {
    Raise(e, d);
  }
  Succeed(gpib_status::kComplete);
}

void StandaloneGpib::GpibRead(std::int16_t handle, std::string& text) {
  Opened& d = Find(handle, "GpibRead");
  std::string answer;
  try {
    answer = d.device->Read(kGpibReadLimit);
  } catch (const GpibFailure& e) {
    Raise(e, d);
  }
  text = std::move(answer);
  Succeed(gpib_status::kComplete | gpib_status::kEnd);
  succeeded_ = !text.empty();
}

GpibBackendKinds StandardGpibBackends() {
  GpibBackendKinds kinds;
  kinds.emplace(kLinuxGpibScheme, &MakeLinuxGpibBackend);
  kinds.emplace(kPrologixScheme, &MakePrologixBackend);
  return kinds;
}

std::unique_ptr<StandaloneGpib> MakeGpibService(const std::map<int, std::string>& boards,
                                                const std::shared_ptr<Clock>& clock,
                                                const GpibBackendKinds& kinds) {
  std::map<int, std::unique_ptr<GpibBackend>> made;
  for (const auto& [board, text] : boards) {
    std::string where = "[gpib] board" + std::to_string(board) + " = \"" + text + "\": ";
    auto colon = text.find(kSchemeSeparator);
    std::string scheme = text.substr(0, colon);
    std::string target = colon == std::string::npos ? "" : text.substr(colon + 1);
    if (target.rfind(kAuthorityMark, 0) == 0) target.erase(0, std::string(kAuthorityMark).size());
    auto kind = kinds.find(scheme);
    if (kind == kinds.end()) {
      std::string known;
      for (const auto& k : kinds) known += (known.empty() ? "" : ", ") + k.first;
      throw MarlinError(errors::kInvalidArgument,
                        where + "unknown backend '" + scheme + "' (known: " + known + ")");
    }
    try {
      made.emplace(board, kind->second(target, clock));
    } catch (const std::invalid_argument& e) {
      throw MarlinError(errors::kInvalidArgument, where + e.what());
    }
  }
  return std::make_unique<StandaloneGpib>(std::move(made));
}

}  // namespace marlin
