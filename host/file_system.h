#pragma once
// The file-system calls a replacement of a file makes, behind one interface so that a test can
// record their order. Every call raises errors::kFileAccess naming the file on failure, except
// Close and Remove, which are also used while cleaning up and answer false instead.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace marlin {

class FileSystem {
 public:
  using Handle = std::intptr_t;
  virtual ~FileSystem() = default;

  // A new, empty, private file in `folder` whose name begins with `prefix`.
  virtual Handle CreateTemporary(const std::filesystem::path& folder, const std::string& prefix,
                                 std::filesystem::path& created) = 0;
  // Gives the open file the owner and permissions of `original`.
  virtual void CopyOwnerAndMode(Handle file, const std::filesystem::path& temporary,
                                const std::filesystem::path& original) = 0;
  // Gives the open file the permissions a new file of this process gets (the temporary file is
  // private until then).
  virtual void GiveNewFileMode(Handle file, const std::filesystem::path& temporary) = 0;
  virtual void Write(Handle file, const std::filesystem::path& temporary,
                     std::string_view contents) = 0;
  // Hands what the program buffered to the operating system.
  virtual void Flush(Handle file, const std::filesystem::path& temporary) = 0;
  // Waits until the operating system has put the file's contents on the disk.
  virtual void Sync(Handle file, const std::filesystem::path& temporary) = 0;
  virtual bool Close(Handle file) = 0;
  // Replaces `to` by `from` in one step.
  virtual void Rename(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
  // Makes a rename in `folder` durable; does nothing where the system has no such call.
  virtual void SyncFolder(const std::filesystem::path& folder) = 0;
  virtual bool Remove(const std::filesystem::path& file) = 0;
};

// The operating system's calls.
FileSystem& RealFileSystem();

// Text of the last failed system call of this thread.
std::string LastSystemError();

}  // namespace marlin
