#include "host/atomic_file.h"

#include <fstream>
#include <system_error>

#include "driver/marlin_error.h"
#include "host/file_lock.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace marlin {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void Refused(const fs::path& path, const std::string& why) {
  throw MarlinError(errors::kFileAccess, "Cannot write \"" + path.string() + "\": " + why);
}

// The file a write must replace: a symbolic link is followed so that the link survives.
fs::path RealTarget(const fs::path& path) {
  std::error_code ec;
  fs::path real = fs::canonical(path, ec);
  return ec ? fs::absolute(path, ec) : real;
}

void CheckRewritable(const fs::path& target) {
  std::error_code ec;
  const fs::perms perms = fs::status(target, ec).permissions();
  constexpr fs::perms kAnyWrite =
      fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  // A list that nobody may write stays unwritten, also for an administrator.
  bool writable = !ec && (perms & kAnyWrite) != fs::perms::none;
#ifndef _WIN32
  writable = writable && ::access(target.c_str(), W_OK) == 0;
#endif
  if (!writable) Refused(target, "the file is read-only for this user");
  const auto links = fs::hard_link_count(target, ec);
  if (!ec && links > 1) {
    Refused(target, "the file has " + std::to_string(links) +
                        " hard links, and replacing it would split them; edit it by hand or "
                        "keep one link");
  }
}

// Only writers holding the lock make temporary files, so any found under the lock belong to a
// writer that died.
void RemoveLeftovers(const fs::path& target, FileSystem& fileSystem) {
  const std::string prefix = TemporaryPrefix(target);
  std::error_code ec;
  for (fs::directory_iterator it(target.parent_path(), ec), end; !ec && it != end;
       it.increment(ec)) {
    if (it->path().filename().string().rfind(prefix, 0) == 0) fileSystem.Remove(it->path());
  }
}

void WriteAndReplace(const fs::path& target, std::string_view contents,
                     const BeforeReplace& beforeReplace, FileSystem& fileSystem,
                     bool existing = true) {
  fs::path temporary;
  const FileSystem::Handle file =
      fileSystem.CreateTemporary(target.parent_path(), TemporaryPrefix(target), temporary);
  bool open = true;
  try {
    if (existing) {
      fileSystem.CopyOwnerAndMode(file, temporary, target);
    } else {
      fileSystem.GiveNewFileMode(file, temporary);
    }
    fileSystem.Write(file, temporary, contents);
    fileSystem.Flush(file, temporary);
    fileSystem.Sync(file, temporary);
    open = false;
    if (!fileSystem.Close(file)) {
      throw MarlinError(errors::kFileAccess,
                        "Cannot write \"" + temporary.string() + "\": " + LastSystemError());
    }
    if (beforeReplace) beforeReplace(temporary);
    fileSystem.Rename(temporary, target);
  } catch (...) {
    if (open) fileSystem.Close(file);
    fileSystem.Remove(temporary);
    throw;
  }
  fileSystem.SyncFolder(target.parent_path());
}

}  // namespace

void RequireRegularFile(const fs::path& path) {
  std::error_code ec;
  const auto status = fs::status(path, ec);
  if (status.type() == fs::file_type::not_found) {
    throw MarlinError(errors::kFileNotFound, "File not found: \"" + path.string() + "\"");
  }
  if (status.type() == fs::file_type::directory) {
    throw MarlinError(errors::kFileAccess, "\"" + path.string() + "\" is a folder, not a file");
  }
  // A pipe or a terminal would be consumed by the first read and could block it for ever.
  if (!ec && status.type() != fs::file_type::regular) {
    throw MarlinError(errors::kFileAccess, "\"" + path.string() +
                                               "\" is not a regular file (a pipe, a device or "
                                               "a socket); give a file");
  }
}

std::string TemporaryPrefix(const fs::path& target) {
  return "." + target.filename().string() + ".new-";
}

std::string ReadWholeFile(const fs::path& path, std::size_t limit) {
  RequireRegularFile(path);
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

void ReplaceFile(const fs::path& path, std::string_view contents, FileSystem& fileSystem) {
  const fs::path target = RealTarget(path);
  std::error_code ec;
  const bool existing = fs::symlink_status(target, ec).type() != fs::file_type::not_found;
  if (existing) {
    RequireRegularFile(target);
    CheckRewritable(target);
  }
  WriteAndReplace(target, contents, {}, fileSystem, existing);
}

void EditFile(const fs::path& path, std::size_t limit, const Edit& edit,
              const BeforeReplace& beforeReplace, FileSystem& fileSystem) {
  const fs::path target = RealTarget(path);
  RequireRegularFile(target);
  CheckRewritable(target);
  FileLock lock(target);
  RemoveLeftovers(target, fileSystem);
  const std::string current = ReadWholeFile(target, limit);
  CheckRewritable(target);
  WriteAndReplace(target, edit(current), beforeReplace, fileSystem);
}

}  // namespace marlin
