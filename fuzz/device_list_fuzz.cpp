// Any bytes as a device list: the parser answers a list or a clear error naming the file, never a
// crash. When it answers a list, writing a LAN address into each device must give a file that
// reads back as the same list with only that value changed (WithLanAddress checks this itself).
// A text the parser takes is UTF-8 and nested no deeper than the pre-check allows, so the
// pre-check is needed only on the way to an error.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "driver/marlin_error.h"
#include "host/device_list.h"
#include "host/device_list_edit.h"
#include "host/toml_precheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  marlin::DeviceList list;
  try {
    list = marlin::ParseDeviceList(text, "fuzz.toml");
  } catch (const marlin::MarlinError& e) {
    if (e.Description().rfind("Device list \"fuzz.toml\"", 0) != 0) __builtin_trap();
    return 0;
  }
  if (marlin::PrecheckToml(text)) __builtin_trap();
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
