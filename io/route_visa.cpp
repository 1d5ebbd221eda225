// VISA through the host's VISA binding: answers come back in a 256-byte, NUL-filled buffer, and
// the rest of an over-long answer is drained.
#include "driver/cls_marlin.h"
#include "driver/host.h"
#include "driver/procedure.h"
#include "io/connection_check.h"
#include "io/routes.h"
#include "io/scpi.h"
#include "io/visa_binding.h"

namespace marlin {
namespace {

constexpr std::uint32_t kVisaAccessMode = 0;
constexpr std::uint32_t kVisaTimeout = 10000;
constexpr std::uint64_t kVisaTermChar = 10;
constexpr const char* kVisaOpenError = "VISA: error no.";
constexpr std::uint32_t kVisaBufferLength = 256;
constexpr ViStatus kVisaSuccessMaxCount = 0x3FFF0006;
// An answer longer than the buffer is drained in buffer-sized reads; this caps the drain so a
// device that never stops talking cannot hold the host for more than this many session timeouts.
constexpr int kMaxDrainReads = 4096;

}  // namespace

VisaRoute::VisaRoute(clsMarlin& m) : m_(m), host_(m.Services()) {}
VisaRoute::~VisaRoute() = default;

std::shared_ptr<VisaBinding> VisaRoute::Binding() {
  if (!binding_) binding_ = host_.Visa();
  return binding_;
}

void VisaRoute::Connect(ConnectionCheck& check) {
  bool allowed = false;
  check.Attempt([&] { host_.DevList().CheckLanDevice(m_.Name, allowed); });
  if (!allowed) {
    check.Refuse();
    return;
  }
  Close();
  ViSession rm = 0;
  bool rmFailed = true;  // a raising resource manager is a failed one
  check.Attempt([&] {
    status_ = Binding()->viOpenDefaultRM(rm);
    rmFailed = status_ != 0;
  });
  if (rmFailed) {
    check.Refuse();
    check.Attempt([&] { RaiseOpenError(); });
    return check.Accept({});
  }
  defaultRm_ = rm;
  bool opened = true;
  check.Attempt([&] {
    status_ = Binding()->viOpen(rm, m_.VisaResource, kVisaAccessMode, kVisaTimeout, session_);
    opened = status_ == 0;
  });
  if (opened) {
    SetAttribute(check, visa_attr::kTermCharEn, 1);
    SetAttribute(check, visa_attr::kTermChar, kVisaTermChar);
    SetAttribute(check, visa_attr::kSuppressEndEn, 0);
    SetAttribute(check, visa_attr::kTimeoutValue, kVisaTimeout);
  } else {
    check.Refuse();
    check.Attempt([&] { Binding()->viClose(rm); });
    defaultRm_ = 0;
    check.Attempt([&] { RaiseOpenError(); });
  }
  std::string answer;
  check.Attempt(
      [&] { answer = m_.ReadCmdResponse(scpi::Line(scpi::kIdentify), scpi::kQueryWaitTime); });
  check.Recognise(answer);
  check.Accept(answer);
}

void VisaRoute::SetAttribute(ConnectionCheck& check, std::uint32_t attribute, std::uint64_t value) {
  check.Attempt([&] { Binding()->viSetAttribute(session_, attribute, value); });
}

void VisaRoute::RaiseOpenError() const {
  throw MarlinError(errors::kVisaOpen, kVisaOpenError + std::to_string(status_));
}

void VisaRoute::Close() {
  if (session_ > 0) {
    try {
      auto visa = Binding();
      visa->viClear(session_);
      visa->viClose(session_);
    } catch (...) {
    }
    session_ = -1;
  }
  if (defaultRm_ > 0) {
    try {
      Binding()->viClose(defaultRm_);
    } catch (...) {
    }
    defaultRm_ = 0;
  }
  binding_.reset();
}

void VisaRoute::Send(Procedure& proc, const std::string& command) {
  if (session_ < 0) return;
  proc.Step([&] {
    std::uint32_t written = 0;
    Binding()->viWrite(session_, command, static_cast<std::uint32_t>(command.size()), written);
  });
}

std::string VisaRoute::Query(Procedure& proc, const std::string& command, std::int32_t waitTime) {
  std::string result(kVisaBufferLength, '\0');
  if (command.empty() || session_ < 0) return result;
  // Held across the steps: a host that pumps messages during the pause may close the session.
  std::shared_ptr<VisaBinding> visa;
  proc.Step([&] {
    visa = Binding();
    std::uint32_t written = 0;
    visa->viWrite(session_, command, static_cast<std::uint32_t>(command.size()), written);
  });
  if (waitTime > 0) {
    proc.Step([&] { m_.Pause(WaitId::QueryPause, waitTime); });
  }
  proc.Step([&] {
    std::string buffer(kVisaBufferLength, '\0');
    std::uint32_t read = 0;
    ViStatus status = visa->viRead(session_, buffer, kVisaBufferLength, read);
    result = buffer.substr(0, kVisaBufferLength);
    // The rest of an over-long answer would otherwise be taken as the next query's answer.
    for (int i = 0; i < kMaxDrainReads && status == kVisaSuccessMaxCount; ++i) {
      std::string scratch(kVisaBufferLength, '\0');
      status = visa->viRead(session_, scratch, kVisaBufferLength, read);
    }
  });
  return result;
}

}  // namespace marlin
