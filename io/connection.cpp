// The connection check: opens or closes the route, identifies the instrument, and accepts it or
// not. It absorbs its own errors; the outcome is left in Status and the identification fields.
#include <functional>

#include "driver/cls_marlin.h"
#include "driver/host_registry.h"
#include "driver/procedure.h"
#include "io/identification.h"
#include "io/modvisa.h"
#include "io/scpi.h"
#include "ui/frm_keep_alive.h"

namespace marlin {
namespace {

constexpr std::int32_t kGpibSecondaryAddress = 0;
constexpr std::int32_t kGpibTimeoutCode = 13;  // 10 s
constexpr std::int32_t kGpibEoiMode = 1;
constexpr std::int32_t kGpibEosMode = 0x0C0A;  // line feed ends reads and carries EOI on writes
constexpr std::int16_t kGpibErrorBit = static_cast<std::int16_t>(0x8000);
constexpr std::int32_t kLanProtocolPort = 0;
constexpr const char* kLanProtocol = "TCP";
constexpr std::uint32_t kVisaAccessMode = 0;
constexpr std::uint32_t kVisaTimeout = 10000;
constexpr std::uint64_t kVisaTermChar = 10;
constexpr const char* kVisaOpenError = "VISA: error no.";

// Error 4012 gives up the GPIB session at once.
struct GiveUp {};

}  // namespace

class ConnectionCheck {
 public:
  ConnectionCheck(clsMarlin& m, Procedure& proc) : m_(m), proc_(proc) {}

  void Disconnect() {
    if (route::IsGpib(m_.Interface) && m_.GpibHandle > -1) {
      Attempt([&] { host::Gpib().GpibPrepareClose(m_.GpibHandle); });
      Attempt([&] { host::Gpib().GpibClose(m_.GpibHandle, 0); });
      m_.GpibHandle = -1;
    }
    // Whatever else the object holds goes too: the VISA session and its resource manager (an
    // instrument may take one client at a time) and a connection of a device named before.
    m_.CloseGpib();
    m_.CloseLan();
    m_.CloseVisa();
    m_.Status = 0;
  }

  void Connect() {
    m_.Status = 1;
    CloseOtherRoutes();
    if (route::IsGpib(m_.Interface)) {
      ConnectGpib();
    } else if (m_.Interface == route::kLan) {
      ConnectLan();
    } else if (m_.Interface == route::kVisa) {
      ConnectVisa();
    } else {
      Accept({});
    }
  }

 private:
  // Runs one step under the absorbing handler; false when it raised.
  bool Attempt(const std::function<void()>& work) {
    auto error = proc_.Absorb(work);
    if (error && error->Number() == errors::kGpibGiveUp) throw GiveUp{};
    return !error;
  }

  void Fail() {
    m_.Status = 0;
    CloseRoute();
  }

  // A connection left from a device the object was named to before, on another route.
  void CloseOtherRoutes() {
    if (!route::IsGpib(m_.Interface)) m_.CloseGpib();
    if (m_.Interface != route::kLan) m_.CloseLan();
    if (m_.Interface != route::kVisa) m_.CloseVisa();
  }

  void CloseRoute() {
    if (route::IsGpib(m_.Interface)) {
      m_.CloseGpib();
    } else if (m_.Interface == route::kLan) {
      m_.CloseLan();
    } else if (m_.Interface == route::kVisa) {
      m_.CloseVisa();
    }
  }

  void ConnectGpib() {
    m_.CloseGpib();
    Attempt([&] {
      host::Gpib().GpibOpen(static_cast<std::int16_t>(m_.Interface - route::kGpibFirst),
                            static_cast<std::int16_t>(m_.Address), kGpibSecondaryAddress,
                            kGpibTimeoutCode, kGpibEoiMode, kGpibEosMode, m_.GpibHandle);
    });
    bool openFailed = true;
    Attempt([&] { openFailed = (host::Gpib().GpibStatus() & kGpibErrorBit) != 0; });
    if (openFailed) return Fail();
    Attempt([&] { host::Gpib().GpibWrite(m_.GpibHandle, scpi::Line(scpi::kClearStatus)); });
    Attempt([&] { host::Gpib().GpibWrite(m_.GpibHandle, scpi::Line(scpi::kIdentify)); });
    ReadGpibIntoBuffer();
    std::string answer = m_.GpibReadBuffer;
    bool succeeded = false;
    Attempt([&] { succeeded = host::Gpib().GpibSucceeded(); });
    if (!succeeded) return Fail();
    if (Recognise(answer)) {
      Attempt([&] { host::Gpib().GpibWrite(m_.GpibHandle, scpi::Line(scpi::kClearStatus)); });
    } else {
      Attempt([&] { host::Gpib().GpibWrite(m_.GpibHandle, scpi::Line(scpi::kClearStatus)); });
      Attempt([&] { host::Gpib().GpibWrite(m_.GpibHandle, scpi::Line(scpi::kErrorQuery)); });
      ReadGpibIntoBuffer();
    }
    Accept(answer);
  }

  void ReadGpibIntoBuffer() {
    Attempt([&] {
      std::string text = m_.GpibReadBuffer;
      host::Gpib().GpibRead(m_.GpibHandle, text);
      m_.StoreGpibAnswer(text);
    });
  }

  void ConnectLan() {
    m_.CloseLan();
    bool opened = true;  // a raising open goes on to the query, as a successful one would
    Attempt([&] {
      host::DevList().LanOpen(m_.LanPars.RemoteHost, m_.LanPars.RemotePort, kLanProtocolPort,
                              kLanProtocol, m_.LanSocket, opened);
    });
    if (!opened) return Accept({});
    std::string answer;
    bool answered = false;
    Attempt([&] {
      host::DevList().LanQuery(m_.LanSocket, scpi::Line(scpi::kIdentify), answer, answered);
    });
    if (!answered) return Fail();
    Recognise(answer);
    Attempt([&] { m_.SendCmdString(scpi::Line(scpi::kClearStatus)); });
    if (m_.NotPA4413 == kTrue && m_.KeepAlive) {
      Attempt([&] { m_.KeepAlive->SetAmplDevice(m_.LanSocket); });
    }
    Accept(answer);
  }

  void ConnectVisa() {
    bool allowed = false;
    Attempt([&] { host::DevList().CheckLanDevice(m_.Name, allowed); });
    if (!allowed) {
      m_.Status = 0;
      return;
    }
    m_.CloseVisa();
    ViSession rm = 0;
    bool rmFailed = true;  // a raising resource manager is a failed one
    Attempt([&] {
      m_.VisaStatus = modVisa::Binding().viOpenDefaultRM(rm);
      rmFailed = m_.VisaStatus != 0;
    });
    if (rmFailed) {
      m_.Status = 0;
      Attempt([&] { RaiseVisaOpenError(); });
      return Accept({});
    }
    m_.VisaDefaultRM = rm;
    bool opened = true;
    Attempt([&] {
      m_.VisaStatus = modVisa::Binding().viOpen(rm, m_.VisaResource, kVisaAccessMode, kVisaTimeout,
                                                m_.VisaSession);
      opened = m_.VisaStatus == 0;
    });
    if (opened) {
      SetVisaAttribute(visa_attr::kTermCharEn, 1);
      SetVisaAttribute(visa_attr::kTermChar, kVisaTermChar);
      SetVisaAttribute(visa_attr::kSuppressEndEn, 0);
      SetVisaAttribute(visa_attr::kTimeoutValue, kVisaTimeout);
    } else {
      m_.Status = 0;
      Attempt([&] { modVisa::Binding().viClose(rm); });
      m_.VisaDefaultRM = 0;
      Attempt([&] { RaiseVisaOpenError(); });
    }
    std::string answer;
    Attempt(
        [&] { answer = m_.ReadCmdResponse(scpi::Line(scpi::kIdentify), scpi::kQueryWaitTime); });
    Recognise(answer);
    Accept(answer);
  }

  void SetVisaAttribute(ViAttr attribute, std::uint64_t value) {
    Attempt([&] { modVisa::Binding().viSetAttribute(m_.VisaSession, attribute, value); });
  }

  [[noreturn]] void RaiseVisaOpenError() {
    throw MarlinError(errors::kVisaOpen, kVisaOpenError + std::to_string(m_.VisaStatus));
  }

  // Sets the model flags; they only ever accumulate.
  bool Recognise(const std::string& answer) {
    if (!identification::NamesAModel(answer)) return false;
    if (answer.find(identification::kPA4520) != std::string::npos) m_.IsPA4520 = kTrue;
    if (answer.find(identification::kPA4413) != std::string::npos) {
      m_.IsPA4413 = kTrue;
    } else {
      m_.NotPA4413 = kTrue;
    }
    return true;
  }

  void Accept(const std::string& answer) {
    if (!identification::NamesMakerAndFamily(answer)) return Fail();
    auto fields = identification::Fields(answer);
    bool complete = fields.size() >= 4;
    if (route::IsGpib(m_.Interface)) {
      m_.Info.Member2 = answer;
      if (complete) m_.FirmwareVersion = identification::FirmwareVersion(fields[3]);
    } else if (complete) {
      m_.FirmwareVersion = identification::FirmwareVersion(fields[3]);
      m_.Info.Member3 = fields[2];
      m_.Info.Member2 = fields[1] + "," + fields[3];
    }
  }

  clsMarlin& m_;
  Procedure& proc_;
};

void clsMarlin::CheckDevicePhysical(std::int32_t RequestedStatus) {
  Procedure proc(labels::kCheckDevicePhysical, Name);
  try {
    proc.Start();
    ConnectionCheck check(*this, proc);
    if (RequestedStatus == 0) {
      check.Disconnect();
    } else {
      check.Connect();
    }
    proc.End();
  } catch (const GiveUp&) {
    CloseGpib();
    Status = 0;
  }
}

void clsMarlin::CloseGpib() {
  if (GpibHandle <= -1) return;
  try {
    host::Gpib().GpibPrepareClose(GpibHandle);
  } catch (...) {
  }
  try {
    host::Gpib().GpibClose(GpibHandle, 0);
  } catch (...) {
  }
  GpibHandle = -1;
}

void clsMarlin::CloseLan() {
  if (LanSocket <= -1) return;
  try {
    bool closed = false;
    host::DevList().LanClose(LanSocket, closed);
  } catch (...) {
  }
  LanSocket = -1;
}

void clsMarlin::CloseVisa() {
  if (VisaSession > 0) {
    try {
      modVisa::Binding().viClear(VisaSession);
      modVisa::Binding().viClose(VisaSession);
    } catch (...) {
    }
    VisaSession = -1;
  }
  if (VisaDefaultRM > 0) {
    try {
      modVisa::Binding().viClose(VisaDefaultRM);
    } catch (...) {
    }
    VisaDefaultRM = 0;
  }
}

}  // namespace marlin
