// Any bytes as a device list: the parser answers a list or a clear error, never a crash. When it
// answers a list, writing a LAN address into each device must give a file that reads back as
// the same list with only that value changed (WithLanAddress checks this itself). A text the
// plain-form reader takes must read as the general TOML parser reads it, faults included.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "driver/marlin_error.h"
#include "host/device_list.h"
#include "host/device_list_edit.h"
#include "host/plain_toml.h"

namespace {

// The list, or the fault's description.
std::string Outcome(std::string_view text, marlin::DeviceList& list) {
  try {
    list = marlin::ParseDeviceList(text, "fuzz.toml");
    return {};
  } catch (const marlin::MarlinError& e) {
    return e.Description();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (marlin::ReadPlainToml(text)) {
    // A comment that is not ASCII sends the same list to the general parser.
    marlin::DeviceList plain, general;
    const std::string plainOutcome = Outcome(text, plain);
    const std::string generalOutcome = Outcome(std::string(text) + "\n# \xc3\xa9\n", general);
    if (plainOutcome != generalOutcome || !(plain == general)) __builtin_trap();
  }
  marlin::DeviceList list;
  try {
    list = marlin::ParseDeviceList(text, "fuzz.toml");
  } catch (const marlin::MarlinError&) {
    return 0;
  }
  for (const auto& [name, entry] : list.devices) {
    try {
      marlin::WithLanAddress(text, "fuzz.toml", name, entry.lanAddress + "\"\\:5025\n");
    } catch (const marlin::MarlinError& e) {
      // Refusing dotted keys is expected; an edit that does not read back is a bug.
      if (e.Description().find("would not read back") != std::string::npos) __builtin_trap();
    }
  }
  return 0;
}
