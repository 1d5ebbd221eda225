// LAN through the host's socket service: every exchange first checks that the connection is
// still there.
#include "driver/cls_marlin.h"
#include "driver/host.h"
#include "driver/procedure.h"
#include "io/connection_check.h"
#include "io/routes.h"
#include "io/scpi.h"
#include "io/transport_texts.h"
#include "ui/frm_keep_alive.h"

namespace marlin {
namespace {

constexpr std::int32_t kLanProtocolPort = 0;
constexpr const char* kLanProtocol = "TCP";

MarlinError LanError(const std::string& name, const char* message) {
  return MarlinError(errors::kTransport, std::string(trace_text::kDevicePrefix) + name +
                                             trace_text::kSeparator + message);
}

}  // namespace

LanRoute::LanRoute(clsMarlin& m) : m_(m), host_(m.Services()) {}

void LanRoute::Connect(ConnectionCheck& check) {
  Close();
  bool opened = true;  // a raising open goes on to the query, as a successful one would
  check.Attempt([&] {
    host_.DevList().LanOpen(m_.LanPars.RemoteHost, m_.LanPars.RemotePort, kLanProtocolPort,
                            kLanProtocol, socket_, opened);
  });
  if (!opened) return check.Accept({});
  std::string answer;
  bool answered = false;
  check.Attempt(
      [&] { host_.DevList().LanQuery(socket_, scpi::Line(scpi::kIdentify), answer, answered); });
  if (!answered) return check.Fail();
  check.Recognise(answer);
  check.Attempt([&] { m_.SendCmdString(scpi::Line(scpi::kClearStatus)); });
  if (m_.NotPA4413 == kTrue && m_.KeepAlive) {
    check.Attempt([&] { m_.KeepAlive->SetAmplDevice(socket_); });
  }
  check.Accept(answer);
}

void LanRoute::Close() {
  if (socket_ <= -1) return;
  try {
    bool closed = false;
    host_.DevList().LanClose(socket_, closed);
  } catch (...) {
  }
  socket_ = -1;
}

void LanRoute::RequireConnection() const {
  bool connected = false;
  host_.DevList().LanIsConnected(socket_, connected);
  if (!connected) throw LanError(m_.Name, transport_text::kNoLan);
}

void LanRoute::Send(Procedure& proc, const std::string& command) {
  proc.Step([&] { RequireConnection(); });
  proc.Step([&] {
    bool sent = false;
    host_.DevList().LanSend(socket_, command, sent);
    if (!sent) throw LanError(m_.Name, transport_text::kSend);
  });
}

std::string LanRoute::Query(Procedure& proc, const std::string& command, std::int32_t) {
  std::string result;
  proc.Step([&] { RequireConnection(); });
  proc.Step([&] {
    bool ok = false;
    host_.DevList().LanQuery(socket_, command, result, ok);
    if (!ok) throw LanError(m_.Name, transport_text::kQuery);
  });
  return result;
}

}  // namespace marlin
