#pragma once
// Whole-file reads with a size bound, and replacement that a crash cannot leave half-written.
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace marlin {

// Raises errors::kFileNotFound for a missing file, kFileAccess for one that cannot be read
// or holds more than `limit` bytes.
std::string ReadWholeFile(const std::filesystem::path& path, std::size_t limit);

// Called with the temporary file once it holds the new contents and before it replaces the old
// file; lets a test stop the process at the one moment that matters.
using BeforeReplace = std::function<void(const std::filesystem::path& temporary)>;

// Writes `contents` to a temporary file in the same folder, flushes it to disk and renames it
// over `path` (following a symbolic link to the real file). A process killed at any moment
// leaves the old file or the new one. Raises errors::kFileAccess on failure, leaving the
// old file as it was.
void ReplaceFile(const std::filesystem::path& path, std::string_view contents,
                 const BeforeReplace& beforeReplace = {});

}  // namespace marlin
