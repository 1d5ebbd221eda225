#include "host/file_lock.h"

#include <thread>

#include "driver/marlin_error.h"
#include "host/file_system.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace marlin {
namespace {

namespace fs = std::filesystem;
constexpr std::chrono::milliseconds kRetryEvery{5};

[[noreturn]] void CannotLock(const fs::path& file, const std::string& why) {
  throw MarlinError(errors::kFileAccess, "Cannot lock \"" + file.string() + "\": " + why);
}

}  // namespace

#ifdef _WIN32

FileLock::FileLock(const fs::path& file, std::chrono::milliseconds patience,
                   const BeforeLock& beforeLock) {
  fs::path lockFile = file;
  lockFile += L".lock";
  HANDLE handle = CreateFileW(lockFile.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) CannotLock(lockFile, LastSystemError());
  if (beforeLock) beforeLock();
  const auto deadline = std::chrono::steady_clock::now() + patience;
  for (;;) {
    OVERLAPPED whole{};
    if (LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole)) {
      break;
    }
    if (GetLastError() != ERROR_LOCK_VIOLATION || std::chrono::steady_clock::now() >= deadline) {
      const std::string why = LastSystemError();
      CloseHandle(handle);
      CannotLock(lockFile, "another program has held it too long (" + why + ")");
    }
    std::this_thread::sleep_for(kRetryEvery);
  }
  handle_ = handle;
}

FileLock::~FileLock() {
  OVERLAPPED whole{};
  UnlockFileEx(static_cast<HANDLE>(handle_), 0, 1, 0, &whole);
  CloseHandle(static_cast<HANDLE>(handle_));
}

#else

FileLock::FileLock(const fs::path& file, std::chrono::milliseconds patience,
                   const BeforeLock& beforeLock) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  // A writer replaces the file by renaming; a lock taken on the file it replaced locks nothing,
  // so the lock counts only when the name still leads to the locked file.
  for (;;) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) CannotLock(file, LastSystemError());
    if (beforeLock) beforeLock();
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      struct stat locked {};
      struct stat named {};
      if (::fstat(fd, &locked) == 0 && ::stat(file.c_str(), &named) == 0 &&
          locked.st_dev == named.st_dev && locked.st_ino == named.st_ino) {
        fd_ = fd;
        return;
      }
      ::close(fd);
      continue;
    }
    const int error = errno;
    ::close(fd);
    if (error != EWOULDBLOCK && error != EINTR) {
      errno = error;
      CannotLock(file, LastSystemError());
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      CannotLock(file, "another program has held it for more than " +
                           std::to_string(patience.count()) + " ms");
    }
    std::this_thread::sleep_for(kRetryEvery);
  }
}

FileLock::~FileLock() { ::close(fd_); }

#endif

}  // namespace marlin
