#include "platform/shared_library.h"

#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace marlin {
namespace {

#ifdef _WIN32
std::string LoaderMessage() {
  DWORD code = GetLastError();
  char* text = nullptr;
  DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string out = n > 0 && text ? std::string(text, n) : "error " + std::to_string(code);
  if (text) LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) {
    out.pop_back();
  }
  return out;
}
#else
std::string LoaderMessage() {
  const char* text = dlerror();
  return text ? text : "unknown loader error";
}
#endif

}  // namespace

SharedLibrary::~SharedLibrary() {
  if (handle_ == nullptr) return;
#ifdef _WIN32
  FreeLibrary(static_cast<HMODULE>(handle_));
#else
  dlclose(handle_);
#endif
}

SharedLibrary::SharedLibrary(SharedLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), name_(std::move(other.name_)) {}

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept {
  if (this != &other) {
    SharedLibrary old(std::move(*this));
    handle_ = std::exchange(other.handle_, nullptr);
    name_ = std::move(other.name_);
  }
  return *this;
}

SharedLibrary SharedLibrary::Open(const std::string& name, std::string& error) {
  SharedLibrary library;
#ifdef _WIN32
  library.handle_ = LoadLibraryA(name.c_str());
#else
  library.handle_ = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
  if (library.handle_ == nullptr) {
    error = LoaderMessage();
  } else {
    library.name_ = name;
  }
  return library;
}

void* SharedLibrary::Symbol(const std::string& symbol, std::string& error) const {
  if (handle_ == nullptr) {
    error = "library not loaded";
    return nullptr;
  }
#ifdef _WIN32
  void* found =
      reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), symbol.c_str()));
#else
  dlerror();
  void* found = dlsym(handle_, symbol.c_str());
#endif
  if (found == nullptr) error = LoaderMessage();
  return found;
}

void* SharedLibrary::Ordinal(int ordinal, std::string& error) const {
#ifdef _WIN32
  if (handle_ == nullptr) {
    error = "library not loaded";
    return nullptr;
  }
  void* found = reinterpret_cast<void*>(
      GetProcAddress(static_cast<HMODULE>(handle_), MAKEINTRESOURCEA(ordinal)));
  if (found == nullptr) error = LoaderMessage();
  return found;
#else
  error = "exports by ordinal exist only on Windows (ordinal " + std::to_string(ordinal) + ")";
  return nullptr;
#endif
}

}  // namespace marlin
