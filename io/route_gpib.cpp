// GPIB through the host's GPIB service: answers land left-aligned in the object's fixed-length,
// space-padded read buffer.
#include <algorithm>

#include "driver/cls_marlin.h"
#include "driver/host.h"
#include "driver/procedure.h"
#include "io/connection_check.h"
#include "io/routes.h"
#include "io/scpi.h"

namespace marlin {
namespace {

constexpr std::int32_t kGpibSecondaryAddress = 0;
constexpr std::int32_t kGpibTimeoutCode = 13;  // 10 s
constexpr std::int32_t kGpibEoiMode = 1;
constexpr std::int32_t kGpibEosMode = 0x0C0A;  // line feed ends reads and carries EOI on writes
constexpr std::int16_t kGpibErrorBit = static_cast<std::int16_t>(0x8000);

}  // namespace

GpibRoute::GpibRoute(clsMarlin& m) : m_(m), host_(m.Services()) {}

void GpibRoute::Connect(ConnectionCheck& check) {
  Close();
  check.Attempt([&] {
    host_.Gpib().GpibOpen(static_cast<std::int16_t>(m_.Interface - route::kGpibFirst),
                          static_cast<std::int16_t>(m_.Address), kGpibSecondaryAddress,
                          kGpibTimeoutCode, kGpibEoiMode, kGpibEosMode, handle_);
  });
  bool openFailed = true;
  check.Attempt([&] { openFailed = (host_.Gpib().GpibStatus() & kGpibErrorBit) != 0; });
  if (openFailed) return check.Fail();
  check.Attempt([&] { host_.Gpib().GpibWrite(handle_, scpi::Line(scpi::kClearStatus)); });
  check.Attempt([&] { host_.Gpib().GpibWrite(handle_, scpi::Line(scpi::kIdentify)); });
  check.Attempt([&] { ReadAnswer(); });
  std::string answer = buffer_;
  bool succeeded = false;
  check.Attempt([&] { succeeded = host_.Gpib().GpibSucceeded(); });
  if (!succeeded) return check.Fail();
  if (check.Recognise(answer)) {
    check.Attempt([&] { host_.Gpib().GpibWrite(handle_, scpi::Line(scpi::kClearStatus)); });
  } else {
    check.Attempt([&] { host_.Gpib().GpibWrite(handle_, scpi::Line(scpi::kClearStatus)); });
    check.Attempt([&] { host_.Gpib().GpibWrite(handle_, scpi::Line(scpi::kErrorQuery)); });
    check.Attempt([&] { ReadAnswer(); });
  }
  check.Accept(answer);
}

void GpibRoute::ReadAnswer() {
  std::string text = buffer_;
  host_.Gpib().GpibRead(handle_, text);
  Store(text);
}

void GpibRoute::Store(const std::string& answer) {
  buffer_.assign(kGpibBufferLength, ' ');
  std::copy_n(answer.begin(), std::min(answer.size(), kGpibBufferLength), buffer_.begin());
}

void GpibRoute::Disconnect(ConnectionCheck& check) {
  if (handle_ <= -1) return;
  check.Attempt([&] { host_.Gpib().GpibPrepareClose(handle_); });
  check.Attempt([&] { host_.Gpib().GpibClose(handle_, 0); });
  handle_ = -1;
}

void GpibRoute::Close() {
  if (handle_ <= -1) return;
  try {
    host_.Gpib().GpibPrepareClose(handle_);
  } catch (...) {
  }
  try {
    host_.Gpib().GpibClose(handle_, 0);
  } catch (...) {
  }
  handle_ = -1;
}

// The device has just failed: a go-to-local before the close would wait out another timeout.
void GpibRoute::GiveUp() {
  try {
    host_.Gpib().GpibClose(handle_, 0);
  } catch (...) {
  }
  handle_ = -1;
}

void GpibRoute::Send(Procedure& proc, const std::string& command) {
  proc.Step([&] { host_.Gpib().GpibWrite(handle_, command); });
}

std::string GpibRoute::Query(Procedure& proc, const std::string& command, std::int32_t) {
  proc.Step([&] { host_.Gpib().GpibWrite(handle_, command); });
  proc.Step([&] { ReadAnswer(); });
  return buffer_;
}

}  // namespace marlin
