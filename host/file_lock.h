#pragma once
// An exclusive lock that every writer of a file takes around reading, editing and replacing it,
// so that two writers never work from the same old contents. The operating system drops the lock
// when its holder dies, however it dies.
#include <chrono>
#include <filesystem>
#include <functional>

namespace marlin {

// Called each time the file to lock has been opened, before the lock is asked for: the moment a
// writer that renames its file over this one can slip in. Lets a test replace the file then; it
// must not throw.
using BeforeLock = std::function<void()>;

class FileLock {
 public:
  // Locks `file`, which must exist (on Windows: a lock file beside it, as a lock there would keep
  // readers out). Raises errors::kFileAccess when the lock cannot be had within `patience`.
  explicit FileLock(const std::filesystem::path& file,
                    std::chrono::milliseconds patience = std::chrono::seconds(10),
                    const BeforeLock& beforeLock = {});
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

}  // namespace marlin
