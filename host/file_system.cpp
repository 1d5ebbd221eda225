#include "host/file_system.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <system_error>
#include <vector>

#include "driver/marlin_error.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace marlin {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void Failed(const fs::path& path, const std::string& what) {
  throw MarlinError(errors::kFileAccess,
                    "Cannot " + what + " \"" + path.string() + "\": " + LastSystemError());
}

#ifdef _WIN32

HANDLE AsHandle(FileSystem::Handle file) { return reinterpret_cast<HANDLE>(file); }

class WindowsFileSystem final : public FileSystem {
 public:
  Handle CreateTemporary(const fs::path& folder, const std::string& prefix,
                         fs::path& created) override {
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
      const fs::path name = folder / (prefix + std::to_string(GetCurrentProcessId()) + "-" +
                                      std::to_string(GetTickCount() + attempt));
      HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file != INVALID_HANDLE_VALUE) {
        created = name;
        return reinterpret_cast<Handle>(file);
      }
      if (GetLastError() != ERROR_FILE_EXISTS) Failed(name, "create the temporary file");
    }
    Failed(folder / prefix, "find a free temporary file name for");
  }
  // A new file takes the folder's permissions; the owner is the writer's.
  void CopyOwnerAndMode(Handle, const fs::path&, const fs::path&) override {}
  void GiveNewFileMode(Handle, const fs::path&) override {}
  void Write(Handle file, const fs::path& temporary, std::string_view contents) override {
    std::size_t done = 0;
    while (done < contents.size()) {
      DWORD written = 0;
      const auto chunk = static_cast<DWORD>(std::min<std::size_t>(contents.size() - done, 1 << 20));
      if (!WriteFile(AsHandle(file), contents.data() + done, chunk, &written, nullptr) ||
          written == 0) {
        Failed(temporary, "write");
      }
      done += written;
    }
  }
  // WriteFile keeps nothing back in the program.
  void Flush(Handle, const fs::path&) override {}
  void Sync(Handle file, const fs::path& temporary) override {
    if (!FlushFileBuffers(AsHandle(file))) Failed(temporary, "flush");
  }
  bool Close(Handle file) override { return CloseHandle(AsHandle(file)) != 0; }
  void Rename(const fs::path& from, const fs::path& to) override {
    if (!MoveFileExW(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      Failed(to, "replace");
    }
  }
  // MOVEFILE_WRITE_THROUGH returns once the rename is on the disk.
  void SyncFolder(const fs::path&) override {}
  bool Remove(const fs::path& file) override { return DeleteFileW(file.c_str()) != 0; }
};

#else

FILE* AsStream(FileSystem::Handle file) { return reinterpret_cast<FILE*>(file); }

class PosixFileSystem final : public FileSystem {
 public:
  Handle CreateTemporary(const fs::path& folder, const std::string& prefix,
                         fs::path& created) override {
    const std::string pattern = (folder / (prefix + "XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) Failed(pattern, "create the temporary file");
    FILE* stream = fdopen(fd, "wb");
    if (stream == nullptr) {
      const int saved = errno;
      ::close(fd);
      ::unlink(name.data());
      errno = saved;
      Failed(name.data(), "open the temporary file");
    }
    created = name.data();
    return reinterpret_cast<Handle>(stream);
  }
  void CopyOwnerAndMode(Handle file, const fs::path& temporary, const fs::path& original) override {
    struct stat info {};
    if (::stat(original.c_str(), &info) != 0) Failed(original, "read the owner of");
    const int fd = fileno(AsStream(file));
    struct stat mine {};
    if (::fstat(fd, &mine) != 0) Failed(temporary, "read the owner of");
    if ((mine.st_uid != info.st_uid || mine.st_gid != info.st_gid) &&
        ::fchown(fd, info.st_uid, info.st_gid) != 0) {
      throw MarlinError(errors::kFileAccess,
                        "Cannot rewrite \"" + original.string() + "\": it belongs to user " +
                            std::to_string(info.st_uid) + ", group " + std::to_string(info.st_gid) +
                            ", and a rewrite by this user would change that (" + LastSystemError() +
                            ")");
    }
    if (::fchmod(fd, info.st_mode & 07777) != 0) Failed(temporary, "set the permissions of");
  }
  // The mask is read by setting it, so it is set back at once; the commands that write new
  // files run one thread.
  void GiveNewFileMode(Handle file, const fs::path& temporary) override {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(fileno(AsStream(file)), 0666 & ~mask) != 0) {
      Failed(temporary, "set the permissions of");
    }
  }
  void Write(Handle file, const fs::path& temporary, std::string_view contents) override {
    if (std::fwrite(contents.data(), 1, contents.size(), AsStream(file)) != contents.size()) {
      Failed(temporary, "write");
    }
  }
  void Flush(Handle file, const fs::path& temporary) override {
    if (std::fflush(AsStream(file)) != 0) Failed(temporary, "write");
  }
  void Sync(Handle file, const fs::path& temporary) override {
    if (::fsync(fileno(AsStream(file))) != 0) Failed(temporary, "flush");
  }
  bool Close(Handle file) override { return std::fclose(AsStream(file)) == 0; }
  void Rename(const fs::path& from, const fs::path& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) Failed(to, "replace");
  }
  void SyncFolder(const fs::path& folder) override {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) Failed(folder, "open the folder");
    const bool synced = ::fsync(fd) == 0;
    const int saved = errno;
    ::close(fd);
    errno = saved;
    if (!synced) Failed(folder, "flush the folder");
  }
  bool Remove(const fs::path& file) override { return ::unlink(file.c_str()) == 0; }
};

#endif

}  // namespace

FileSystem& RealFileSystem() {
#ifdef _WIN32
  static WindowsFileSystem system;
#else
  static PosixFileSystem system;
#endif
  return system;
}

std::string LastSystemError() {
#ifdef _WIN32
  return std::system_category().message(static_cast<int>(GetLastError()));
#else
  return std::generic_category().message(errno);
#endif
}

}  // namespace marlin
