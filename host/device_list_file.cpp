#include "host/device_list_file.h"

#include <utility>

#include "host/device_list_edit.h"

namespace marlin {

DeviceListFile::DeviceListFile(std::filesystem::path path, BeforeReplace beforeReplace)
    : path_(std::move(path)), beforeReplace_(std::move(beforeReplace)) {}

const DeviceList& DeviceListFile::Current() {
  std::string text = ReadWholeFile(path_, kLargestDeviceList);
  if (!list_ || text != text_) {
    list_.reset();
    list_ = ParseDeviceList(text, path_.string());
    text_ = std::move(text);
  }
  return *list_;
}

DeviceEntry DeviceListFile::Device(const std::string& name) {
  const DeviceList& list = Current();
  auto it = list.devices.find(name);
  if (it == list.devices.end()) UnknownDeviceError(name, path_.string());
  return it->second;
}

void DeviceListFile::SetLanAddress(const std::string& name, const std::string& address) {
  std::string edited;
  EditFile(
      path_, kLargestDeviceList,
      [&](const std::string& current) {
        edited = WithLanAddress(current, path_.string(), name, address);
        return edited;
      },
      beforeReplace_);
  list_.reset();
  list_ = ParseDeviceList(edited, path_.string());
  text_ = std::move(edited);
}

}  // namespace marlin
