#pragma once
#include <memory>
#include <string>
#include <string_view>

#include "host/device_list.h"

namespace marlin {

// The device list text with the LAN address of `device` set to `address`. Every other byte of
// the text (comments, order, other entries, line ends) stays as it was; the result is checked to
// read back as the old list with only that one value changed.
std::string WithLanAddress(std::string_view text, const std::string& fileName,
                           const std::string& device, const std::string& address);

struct TomlDocument;

struct EditedList {
  std::string text;
  DeviceList list;                               // what the text reads as
  std::shared_ptr<const TomlDocument> document;  // and the document it was read from
};

// As WithLanAddress. `parsed` and `document`, when both are given, are what `text` reads as, so
// it is not read again.
EditedList EditLanAddress(std::string_view text, const std::string& fileName,
                          const std::string& device, const std::string& address,
                          const DeviceList* parsed = nullptr,
                          const TomlDocument* document = nullptr);

}  // namespace marlin
