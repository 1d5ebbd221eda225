#include "host/atomic_file.h"

#include <cerrno>
#include <fstream>
#include <system_error>
#include <vector>

#include "driver/marlin_error.h"

#ifdef _WIN32
#include <windows.h>
// Our ReplaceFile, not the Win32 macro of the same name.
#undef ReplaceFile
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace marlin {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void CannotWrite(const fs::path& path, const std::string& why) {
  throw MarlinError(errors::kFileAccess, "Cannot write \"" + path.string() + "\": " + why);
}

std::string LastSystemError() {
#ifdef _WIN32
  return std::system_category().message(static_cast<int>(GetLastError()));
#else
  return std::generic_category().message(errno);
#endif
}

// The file a write must replace: a symbolic link is followed so that the link survives.
fs::path RealTarget(const fs::path& path) {
  std::error_code ec;
  fs::path real = fs::canonical(path, ec);
  return ec ? fs::absolute(path, ec) : real;
}

#ifdef _WIN32

void WriteAndReplace(const fs::path& target, std::string_view contents,
                     const BeforeReplace& beforeReplace) {
  fs::path temporary = target;
  temporary += L".tmp" + std::to_wstring(GetCurrentProcessId());
  HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) CannotWrite(temporary, LastSystemError());
  DWORD written = 0;
  const bool ok =
      WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr) &&
      written == contents.size() && FlushFileBuffers(file);
  const std::string why = ok ? std::string() : LastSystemError();
  CloseHandle(file);
  if (!ok) {
    DeleteFileW(temporary.c_str());
    CannotWrite(temporary, why);
  }
  try {
    if (beforeReplace) beforeReplace(temporary);
  } catch (...) {
    DeleteFileW(temporary.c_str());
    throw;
  }
  if (!MoveFileExW(temporary.c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const std::string moveError = LastSystemError();
    DeleteFileW(temporary.c_str());
    CannotWrite(target, moveError);
  }
}

#else

// Closes the descriptor and removes the temporary file unless the replacement went through.
class TemporaryFile {
 public:
  explicit TemporaryFile(const fs::path& target) {
    std::string pattern =
        (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd_ = mkstemp(name.data());
    if (fd_ < 0) CannotWrite(pattern, "no temporary file: " + LastSystemError());
    path_ = name.data();
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!kept_) ::unlink(path_.c_str());
  }

  void Write(std::string_view contents) {
    std::size_t done = 0;
    while (done < contents.size()) {
      const ssize_t n = ::write(fd_, contents.data() + done, contents.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) CannotWrite(path_, LastSystemError());
      done += static_cast<std::size_t>(n);
    }
  }
  void CopyPermissionsOf(const fs::path& other) {
    struct stat info {};
    if (::stat(other.c_str(), &info) == 0) ::fchmod(fd_, info.st_mode & 07777);
  }
  void FlushAndClose() {
    const bool ok = ::fsync(fd_) == 0;
    const std::string why = ok ? std::string() : LastSystemError();
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    if (!ok || !closed) CannotWrite(path_, ok ? LastSystemError() : why);
  }
  void RenameTo(const fs::path& target) {
    if (::rename(path_.c_str(), target.c_str()) != 0) CannotWrite(target, LastSystemError());
    kept_ = true;
  }
  const fs::path& Path() const { return path_; }

 private:
  int fd_ = -1;
  fs::path path_;
  bool kept_ = false;
};

void WriteAndReplace(const fs::path& target, std::string_view contents,
                     const BeforeReplace& beforeReplace) {
  TemporaryFile temporary(target);
  temporary.CopyPermissionsOf(target);
  temporary.Write(contents);
  temporary.FlushAndClose();
  if (beforeReplace) beforeReplace(temporary.Path());
  temporary.RenameTo(target);
  // The rename is durable only once the folder itself is on disk.
  const int folder = ::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
}

#endif

}  // namespace

std::string ReadWholeFile(const fs::path& path, std::size_t limit) {
  std::error_code ec;
  const auto status = fs::status(path, ec);
  if (status.type() == fs::file_type::not_found) {
    throw MarlinError(errors::kFileNotFound, "File not found: \"" + path.string() + "\"");
  }
  if (status.type() == fs::file_type::directory) {
    throw MarlinError(errors::kFileAccess, "\"" + path.string() + "\" is a folder, not a file");
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw MarlinError(errors::kFileAccess,
                      "Cannot read \"" + path.string() + "\": " + LastSystemError());
  }
  std::string data;
  char chunk[16384];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    data.append(chunk, static_cast<std::size_t>(in.gcount()));
    if (data.size() > limit) {
      throw MarlinError(errors::kFileAccess, "\"" + path.string() + "\" is larger than " +
                                                 std::to_string(limit) + " bytes");
    }
  }
  if (in.bad()) {
    throw MarlinError(errors::kFileAccess,
                      "Cannot read \"" + path.string() + "\": " + LastSystemError());
  }
  return data;
}

void ReplaceFile(const fs::path& path, std::string_view contents,
                 const BeforeReplace& beforeReplace) {
  WriteAndReplace(RealTarget(path), contents, beforeReplace);
}

}  // namespace marlin
