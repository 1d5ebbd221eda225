#pragma once
// Whole-file reads with a size bound, and edits that neither a crash nor a second writer can
// spoil.
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "host/file_system.h"

namespace marlin {

// Raises errors::kFileNotFound for a missing file, kFileAccess for one that is not a regular
// file (a folder, a pipe, a device), cannot be read or holds more than `limit` bytes.
std::string ReadWholeFile(const std::filesystem::path& path, std::size_t limit);
// Raises as ReadWholeFile does for a path that is missing or not a regular file.
void RequireRegularFile(const std::filesystem::path& path);

// Called with the temporary file once it holds the new contents and before it replaces the old
// file; lets a test stop the process at the one moment that matters.
using BeforeReplace = std::function<void(const std::filesystem::path& temporary)>;

// What the edit makes of the file's current contents.
using Edit = std::function<std::string(const std::string& current)>;

// Replaces the file at `path` (a symbolic link is followed, so the link survives) by
// edit(its contents). Under an exclusive lock held by every writer, it reads the file afresh,
// removes the temporary files that killed writers left, writes the new contents to a temporary
// file in the same folder with the old file's owner and permissions, puts them on the disk and
// renames the temporary file over the old one. A process killed at any moment leaves the old
// file or the new one. Raises errors::kFileAccess naming the file, leaving it as it was, when it
// is read-only, has other hard links (a rename would split them) or cannot be replaced.
void EditFile(const std::filesystem::path& path, std::size_t limit, const Edit& edit,
              const BeforeReplace& beforeReplace = {}, FileSystem& fileSystem = RealFileSystem());

// Writes `contents` to `path` through a temporary file beside it that is renamed over it once
// whole, so a failure at any moment leaves what was there (or nothing) and removes only the
// temporary file. A missing file is created with the usual permissions; an existing one must be
// a regular file that EditFile would rewrite, and keeps its owner and permissions. Raises as
// EditFile does; errors::kFileAccess also for a missing folder.
void ReplaceFile(const std::filesystem::path& path, std::string_view contents,
                 FileSystem& fileSystem = RealFileSystem());

// The name prefix of the temporary files that EditFile makes for `target`.
std::string TemporaryPrefix(const std::filesystem::path& target);

}  // namespace marlin
