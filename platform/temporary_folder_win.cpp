#include <windows.h>

#include <stdexcept>

#include "platform/random_bytes.h"
#include "platform/temporary_folder.h"

namespace marlin::platform {
namespace {

constexpr int kAttempts = 100;

std::string RandomPart() {
  unsigned char bytes[6];
  FillRandom(bytes, sizeof bytes);
  static constexpr char kLetters[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string part;
  for (unsigned char b : bytes) part += kLetters[b % (sizeof kLetters - 1)];
  return part;
}

}  // namespace

// CreateDirectory fails on a name that exists, so a folder it makes is this call's own.
std::filesystem::path MakeTemporaryFolder(const std::string& prefix) {
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::filesystem::path folder = base / (prefix + RandomPart());
    if (CreateDirectoryW(folder.c_str(), nullptr) != 0) return folder;
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  throw std::runtime_error("cannot make a temporary folder under " + base.string());
}

}  // namespace marlin::platform
