// The command transport: one command line or query over the object's route.
#include <algorithm>

#include "driver/cls_marlin.h"
#include "driver/host_registry.h"
#include "driver/procedure.h"
#include "io/modvisa.h"
#include "io/transport_texts.h"

namespace marlin {
namespace {

constexpr std::uint32_t kVisaBufferLength = 256;
constexpr ViStatus kVisaSuccessMaxCount = 0x3FFF0006;
// An answer longer than the buffer is drained in buffer-sized reads; this caps the drain so a
// device that never stops talking cannot hold the host for more than this many session timeouts.
constexpr int kMaxDrainReads = 4096;

std::string LanErrorText(const std::string& name, const char* message) {
  return std::string(trace_text::kDevicePrefix) + name + trace_text::kSeparator + message;
}

void RequireLanConnection(std::int32_t socket, const std::string& name) {
  bool connected = false;
  host::DevList().LanIsConnected(socket, connected);
  if (!connected) throw MarlinError(errors::kTransport, LanErrorText(name, transport_text::kNoLan));
}

}  // namespace

void clsMarlin::SendCmdString(const std::string& Command) {
  Procedure proc(labels::kSendCmdString, Name);
  proc.Start(trace_text::kCommand + Command);
  if (!Command.empty() && Status != 0) {
    if (Interface == route::kLan) {
      proc.Step([&] { RequireLanConnection(LanSocket, Name); });
      proc.Step([&] {
        bool sent = false;
        host::DevList().LanSend(LanSocket, Command, sent);
        if (!sent) throw MarlinError(errors::kTransport, LanErrorText(Name, transport_text::kSend));
      });
    } else if (Interface == route::kVisa) {
      if (VisaSession >= 0) {
        proc.Step([&] {
          std::uint32_t written = 0;
          modVisa::Binding().viWrite(VisaSession, Command,
                                     static_cast<std::uint32_t>(Command.size()), written);
        });
      }
    } else {
      proc.Step([&] { host::Gpib().GpibWrite(GpibHandle, Command); });
    }
  }
  proc.End();
}

std::string clsMarlin::ReadCmdResponse(const std::string& Command, std::int32_t WaitTime) {
  std::string result;
  Procedure proc(labels::kReadCmdResponse, Name);
  proc.Start();
  if (Status == 1) {
    if (Interface == route::kLan) {
      proc.Step([&] { RequireLanConnection(LanSocket, Name); });
      proc.Step([&] {
        bool ok = false;
        host::DevList().LanQuery(LanSocket, Command, result, ok);
        if (!ok) throw MarlinError(errors::kTransport, LanErrorText(Name, transport_text::kQuery));
      });
    } else if (Interface == route::kVisa) {
      result.assign(kVisaBufferLength, '\0');
      if (!Command.empty() && VisaSession >= 0) {
        VisaBinding* visa = nullptr;
        proc.Step([&] {
          visa = &modVisa::Binding();
          std::uint32_t written = 0;
          visa->viWrite(VisaSession, Command, static_cast<std::uint32_t>(Command.size()), written);
        });
        if (WaitTime > 0) {
          proc.Step([&] { host::Tools().Wait(static_cast<float>(WaitTime)); });
        }
        proc.Step([&] {
          std::string buffer(kVisaBufferLength, '\0');
          std::uint32_t read = 0;
          ViStatus status = visa->viRead(VisaSession, buffer, kVisaBufferLength, read);
          result = buffer.substr(0, kVisaBufferLength);
          // The rest of an over-long answer would otherwise be taken as the next query's answer.
          for (int i = 0; i < kMaxDrainReads && status == kVisaSuccessMaxCount; ++i) {
            std::string scratch(kVisaBufferLength, '\0');
            status = visa->viRead(VisaSession, scratch, kVisaBufferLength, read);
          }
        });
      }
    } else {
      proc.Step([&] { host::Gpib().GpibWrite(GpibHandle, Command); });
      proc.Step([&] {
        std::string answer = GpibReadBuffer;
        host::Gpib().GpibRead(GpibHandle, answer);
        StoreGpibAnswer(answer);
      });
      result = GpibReadBuffer;
    }
  }
  proc.End();
  return result;
}

// Left-aligned into the fixed-length buffer: padded with spaces or cut.
void clsMarlin::StoreGpibAnswer(const std::string& answer) {
  GpibReadBuffer.assign(kGpibBufferLength, ' ');
  std::copy_n(answer.begin(), std::min(answer.size(), kGpibBufferLength), GpibReadBuffer.begin());
}

}  // namespace marlin
