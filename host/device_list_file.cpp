#include "host/device_list_file.h"

#include <utility>

#include "host/device_list_edit.h"
#include "host/device_list_toml.h"

namespace marlin {

DeviceListFile::DeviceListFile(std::filesystem::path path, BeforeReplace beforeReplace)
    : path_(std::move(path)), beforeReplace_(std::move(beforeReplace)) {}

const DeviceList& DeviceListFile::Current() {
  std::string text = ReadWholeFile(path_, kLargestDeviceList);
  if (!list_ || text != text_) {
    list_.reset();
    document_.reset();
    DeviceListWithDocument read = ParseDeviceListWithDocument(text, path_.string());
    list_ = std::move(read.list);
    document_ = std::move(read.document);
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
  EditedList edited;
  EditFile(
      path_, kLargestDeviceList,
      [&](const std::string& current) {
        const bool known = list_ && document_ && current == text_;
        edited = EditLanAddress(current, path_.string(), name, address, known ? &*list_ : nullptr,
                                known ? document_.get() : nullptr);
        return edited.text;
      },
      beforeReplace_);
  list_ = std::move(edited.list);
  document_ = std::move(edited.document);
  text_ = std::move(edited.text);
}

}  // namespace marlin
