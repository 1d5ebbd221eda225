#pragma once
// A dynamic library loaded at run time, its symbols looked up on demand. Failures keep the
// loader's own message (dlerror, FormatMessage).
#include <string>

namespace marlin {

class SharedLibrary {
 public:
  SharedLibrary() = default;
  ~SharedLibrary();
  SharedLibrary(SharedLibrary&& other) noexcept;
  SharedLibrary& operator=(SharedLibrary&& other) noexcept;
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  // An empty library and the loader's message when `name` cannot be loaded.
  static SharedLibrary Open(const std::string& name, std::string& error);

  bool IsLoaded() const { return handle_ != nullptr; }
  const std::string& Name() const { return name_; }
  // nullptr and the loader's message when the symbol is missing.
  void* Symbol(const std::string& symbol, std::string& error) const;
  // Windows exports by ordinal; elsewhere always missing.
  void* Ordinal(int ordinal, std::string& error) const;

 private:
  void* handle_ = nullptr;
  std::string name_;
};

}  // namespace marlin
