// The connection check's own part: what every route shares. The route-specific opening and
// identification are the routes' (route_gpib.cpp, route_lan.cpp, route_visa.cpp).
#include "io/connection_check.h"

#include "driver/cls_marlin.h"
#include "driver/procedure.h"
#include "io/identification.h"
#include "io/routes.h"

namespace marlin {

void ConnectionCheck::Disconnect() {
  if (Route* route = m_.RouteOf(m_.Interface)) route->Disconnect(*this);
  // Whatever else the object holds goes too: the VISA session and its resource manager (an
  // instrument may take one client at a time) and a connection of a device named before.
  m_.CloseRoutes(nullptr);
  m_.Status = 0;
}

void ConnectionCheck::Connect() {
  m_.Status = 1;
  route_ = m_.RouteOf(m_.Interface);
  // A connection left from a device the object was named to before, on another route.
  m_.CloseRoutes(route_);
  if (route_ != nullptr) {
    route_->Connect(*this);
  } else {
    Accept({});
  }
}

bool ConnectionCheck::Attempt(const std::function<void()>& work) {
  auto error = proc_.Absorb(work);
  if (error && error->Number() == errors::kGpibGiveUp) throw GiveUp{};
  return !error;
}

void ConnectionCheck::Fail() {
  m_.Status = 0;
  if (route_ != nullptr) route_->Close();
}

void ConnectionCheck::Refuse() { m_.Status = 0; }

bool ConnectionCheck::Recognise(const std::string& answer) {
  if (!identification::NamesAModel(answer)) return false;
  if (answer.find(identification::kPA4520) != std::string::npos) m_.IsPA4520 = kTrue;
  if (answer.find(identification::kPA4413) != std::string::npos) {
    m_.IsPA4413 = kTrue;
  } else {
    m_.NotPA4413 = kTrue;
  }
  return true;
}

void ConnectionCheck::Accept(const std::string& answer) {
  if (!identification::NamesMakerAndFamily(answer)) return Fail();
  auto fields = identification::Fields(answer);
  bool complete = fields.size() >= 4;
  if (route_ != nullptr && route_->KeepsWholeIdentification()) {
    m_.Info.Member2 = answer;
    if (complete) m_.FirmwareVersion = identification::FirmwareVersion(fields[3]);
  } else if (complete) {
    m_.FirmwareVersion = identification::FirmwareVersion(fields[3]);
    m_.Info.Member3 = fields[2];
    m_.Info.Member2 = fields[1] + "," + fields[3];
  }
}

void clsMarlin::CheckDevicePhysical(std::int32_t RequestedStatus) {
  Procedure proc(Services(), labels::kCheckDevicePhysical, Name);
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
    Routes->gpib.GiveUp();
    Status = 0;
  }
}

}  // namespace marlin
