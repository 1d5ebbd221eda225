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

VisaRoute::VisaRoute(clsMarlin& m) : m_(m) {}
VisaRoute::~VisaRoute() = default;

std::shared_ptr<VisaBinding> VisaRoute::Binding() {
  if (!binding_) binding_ = m_.Services().Visa();
  return binding_;
}

void VisaRoute::Connect(ConnectionCheck& check) {
  bool allowed = false;
  check.Attempt([&] { m_.Services().DevList().CheckLanDevice(m_.Name, allowed); });
  if (!allowed) {
    m_.Status = 0;
    return;
  }
  Close();
  ViSession rm = 0;
  bool rmFailed = true;  // a raising resource manager is a failed one
  check.Attempt([&] {
    m_.VisaStatus = Binding()->viOpenDefaultRM(rm);
    rmFailed = m_.VisaStatus != 0;
  });
  if (rmFailed) {
    m_.Status = 0;
    check.Attempt([&] { RaiseOpenError(); });
    return check.Accept({});
  }
  m_.VisaDefaultRM = rm;
  bool opened = true;
  check.Attempt([&] {
    m_.VisaStatus =
        Binding()->viOpen(rm, m_.VisaResource, kVisaAccessMode, kVisaTimeout, m_.VisaSession);
    opened = m_.VisaStatus == 0;
  });
  if (opened) {
    SetAttribute(check, visa_attr::kTermCharEn, 1);
    SetAttribute(check, visa_attr::kTermChar, kVisaTermChar);
    SetAttribute(check, visa_attr::kSuppressEndEn, 0);
    SetAttribute(check, visa_attr::kTimeoutValue, kVisaTimeout);
  } else {
    m_.Status = 0;
    check.Attempt([&] { Binding()->viClose(rm); });
    m_.VisaDefaultRM = 0;
    check.Attempt([&] { RaiseOpenError(); });
  }
  std::string answer;
  check.Attempt(
      [&] { answer = m_.ReadCmdResponse(scpi::Line(scpi::kIdentify), scpi::kQueryWaitTime); });
  check.Recognise(answer);
  check.Accept(answer);
}

void VisaRoute::SetAttribute(ConnectionCheck& check, std::uint32_t attribute, std::uint64_t value) {
  check.Attempt([&] { Binding()->viSetAttribute(m_.VisaSession, attribute, value); });
}

void VisaRoute::RaiseOpenError() const {
  throw MarlinError(errors::kVisaOpen, kVisaOpenError + std::to_string(m_.VisaStatus));
}

void VisaRoute::Close() {
  if (m_.VisaSession > 0) {
    try {
      auto visa = Binding();
      visa->viClear(m_.VisaSession);
      visa->viClose(m_.VisaSession);
    } catch (...) {
    }
    m_.VisaSession = -1;
  }
  if (m_.VisaDefaultRM > 0) {
    try {
      Binding()->viClose(m_.VisaDefaultRM);
    } catch (...) {
    }
    m_.VisaDefaultRM = 0;
  }
  binding_.reset();
}

void VisaRoute::Send(Procedure& proc, const std::string& command) {
  if (m_.VisaSession < 0) return;
  proc.Step([&] {
    std::uint32_t written = 0;
    Binding()->viWrite(m_.VisaSession, command, static_cast<std::uint32_t>(command.size()),
                       written);
  });
}

std::string VisaRoute::Query(Procedure& proc, const std::string& command, std::int32_t waitTime) {
  std::string result(kVisaBufferLength, '\0');
  if (command.empty() || m_.VisaSession < 0) return result;
  // Held across the steps: a host that pumps messages during the pause may close the session.
  std::shared_ptr<VisaBinding> visa;
  proc.Step([&] {
    visa = Binding();
    std::uint32_t written = 0;
    visa->viWrite(m_.VisaSession, command, static_cast<std::uint32_t>(command.size()), written);
  });
  if (waitTime > 0) {
    proc.Step([&] { m_.Pause(WaitId::QueryPause, waitTime); });
  }
  proc.Step([&] {
    std::string buffer(kVisaBufferLength, '\0');
    std::uint32_t read = 0;
    ViStatus status = visa->viRead(m_.VisaSession, buffer, kVisaBufferLength, read);
    result = buffer.substr(0, kVisaBufferLength);
    // The rest of an over-long answer would otherwise be taken as the next query's answer.
    for (int i = 0; i < kMaxDrainReads && status == kVisaSuccessMaxCount; ++i) {
      std::string scratch(kVisaBufferLength, '\0');
      status = visa->viRead(m_.VisaSession, scratch, kVisaBufferLength, read);
    }
  });
  return result;
}

}  // namespace marlin
