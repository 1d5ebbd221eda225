#include <windows.h>

#include <algorithm>

#include "platform/removed_on_termination.h"

namespace marlin::platform {
namespace {

// The console runs the handler on a thread of its own; the names are set before it is added.
constexpr std::size_t kLongestPath = 32768;
wchar_t fileToRemove[kLongestPath];
wchar_t folderToRemove[kLongestPath];

BOOL WINAPI RemoveAndGoOn(DWORD /*event*/) {
  DeleteFileW(fileToRemove);
  RemoveDirectoryW(folderToRemove);
  return FALSE;  // the next handler, in the end the system's, ends the program as before
}

void Copy(wchar_t (&to)[kLongestPath], const std::filesystem::path& from) {
  const std::wstring text = from.wstring();
  const std::size_t length = std::min(text.size(), kLongestPath - 1);
  text.copy(to, length);
  to[length] = L'\0';
}

}  // namespace

RemovedOnTermination::RemovedOnTermination(const std::filesystem::path& file,
                                           const std::filesystem::path& folder) {
  Copy(fileToRemove, file);
  Copy(folderToRemove, folder);
  SetConsoleCtrlHandler(&RemoveAndGoOn, TRUE);
}

RemovedOnTermination::~RemovedOnTermination() { SetConsoleCtrlHandler(&RemoveAndGoOn, FALSE); }

}  // namespace marlin::platform
