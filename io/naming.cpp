// Naming the device and reading how it is reached from the host's device list.
#include <memory>
#include <string>
#include <vector>

#include "driver/cls_marlin.h"
#include "driver/host.h"
#include "driver/procedure.h"
#include "driver/text_numbers.h"
#include "ui/frm_keep_alive.h"

namespace marlin {
namespace {

constexpr const char* kNameWord = "Name";
constexpr const char* kTrueWord = "True";
constexpr const char* kFalseWord = "False";
constexpr std::int32_t kLowestGpibAddress = 1;
constexpr std::int32_t kHighestGpibAddress = 30;

// Every piece between the colons, as the runtime's Split gives them; none for the empty text.
std::vector<std::string> SplitAtColons(const std::string& text) {
  std::vector<std::string> pieces;
  if (text.empty()) return pieces;
  std::size_t begin = 0;
  for (std::size_t colon = text.find(':'); colon != std::string::npos;
       colon = text.find(':', begin)) {
    pieces.push_back(text.substr(begin, colon - begin));
    begin = colon + 1;
  }
  pieces.push_back(text.substr(begin));
  return pieces;
}

std::string Endpoint(const mgnLanPars& lan) {
  return lan.RemoteHost + ":" + Decimal(lan.RemotePort);
}

}  // namespace

void clsMarlin::clsDevice_Name_Let(const std::string& newName) {
  // The naming is the named device's work, so its records carry the new name from the first.
  Procedure proc(Services(), labels::kLetName, newName);
  proc.Start(newName == kNameWord ? kTrueWord : kFalseWord);
  if (newName != Name) ForgetPreviousDevice();
  Name = newName;
  proc.Step([&] { clsIAmpRemote_GetParametersFromDevList(); });
  Status = 0;
  proc.Step([&] { KeepAlive = std::make_shared<frmKeepAlive>(Services()); });
  proc.End();
}

// What identification learnt about the device the object was named to before is that device's.
void clsMarlin::ForgetPreviousDevice() {
  IsPA4413 = kFalse;
  NotPA4413 = kFalse;
  IsPA4520 = kFalse;
  FirmwareVersion = 0;
}

void clsMarlin::clsIAmpRemote_GetParametersFromDevList() {
  Procedure proc(Services(), labels::kGetParametersFromDevList, Name);
  proc.Start();
  Interface = proc.Step([&] { return Services().DevList().GetInterface(Name); });

  if (proc.Step([&] {
        return Services().Tools().IsBetween(route::kGpibFirst, Interface, route::kGpibLast);
      })) {
    Address = proc.Step([&] { return Services().DevList().GetAddress(Name); });
    if (!proc.Step([&] {
          return Services().Tools().IsBetween(kLowestGpibAddress, Address, kHighestGpibAddress);
        })) {
      Address = kDefaultGpibAddress;
    }
  } else if (Interface == route::kLan) {
    const std::string text = proc.Step([&] { return Services().DevList().GetLanAddress(Name); });
    const std::vector<std::string> pieces = SplitAtColons(text);
    if (pieces.size() < 2) {
      // A host written without a port keeps its host; only an empty address gets the placeholder.
      LanPars.RemoteHost = text.empty() ? std::string(kPlaceholderHost) : text;
      LanPars.RemotePort = kDefaultPort;
      LanPortDevice = Name;
      const std::string repaired = Endpoint(LanPars);
      proc.Step([&] { Services().DevList().SetLanAddress(Name, repaired); });
      Info.Member4 = repaired;
    } else {
      LanPars.RemoteHost = pieces[0];
      if (!pieces[1].empty()) {
        LanPars.RemotePort = proc.Step([&] { return TextToInt32(pieces[1]); });
      } else if (LanPortDevice != Name || LanPars.RemotePort <= 0) {
        // The port kept is only ever this device's own.
        LanPars.RemotePort = kDefaultPort;
      }
      LanPortDevice = Name;
      Info.Member4 = Endpoint(LanPars);
    }
  } else if (Interface == route::kVisa) {
    VisaResource = proc.Step([&] { return Services().DevList().GetVisaResource(Name); });
  } else {
    Interface = route::kLan;
    LanPars.RemoteHost = kPlaceholderHost;
    LanPars.RemotePort = kDefaultPort;
    LanPortDevice = Name;
  }

  Description = proc.Step([&] { return Services().DevList().GetDescription(Name); });
  proc.End();
}

}  // namespace marlin
