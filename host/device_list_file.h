#pragma once
// A device list kept in a file: read afresh whenever the file's contents changed, written back
// only by SetLanAddress, atomically.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "host/atomic_file.h"
#include "host/device_list.h"

namespace marlin {

struct TomlDocument;

class DeviceListFile {
 public:
  explicit DeviceListFile(std::filesystem::path path, BeforeReplace beforeReplace = {});

  const std::filesystem::path& Path() const { return path_; }
  // The list as the file holds it now. Raises the file's error (missing, unreadable, malformed).
  const DeviceList& Current();
  // Raises host_errors::kUnknownDevice for a name the list does not hold.
  DeviceEntry Device(const std::string& name);
  // Keeps every other byte of the file as it is at that moment; see WithLanAddress and EditFile.
  void SetLanAddress(const std::string& name, const std::string& address);

 private:
  std::filesystem::path path_;
  BeforeReplace beforeReplace_;
  std::string text_;
  std::optional<DeviceList> list_;
  // What text_ was read into, kept so that an edit need not read the text again.
  std::shared_ptr<const TomlDocument> document_;
};

}  // namespace marlin
