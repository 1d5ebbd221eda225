#pragma once
// The console's driver side: each command is one host call on the current driver object.
#include <memory>

#include "app/shell_result.h"
#include "app/shell_syntax.h"

namespace marlin {
class clsMarlin;
}

namespace marlin::cli {

class ShellSession {
 public:
  // The session starts with one driver object, as the console does.
  ShellSession();
  ~ShellSession();
  ShellSession(const ShellSession&) = delete;
  ShellSession& operator=(const ShellSession&) = delete;

  // Errors of the call come back as results; quit answers ok and finishes the session.
  ShellResult Run(const ShellCommand& command);
  bool Finished() const { return finished_; }
  // Releases the current object, if any (end of input does this as quit does).
  void Release();

 private:
  ShellValue Call(const ShellCommand& command);
  clsMarlin& Current();

  std::unique_ptr<clsMarlin> amp_;
  bool finished_ = false;
};

}  // namespace marlin::cli
