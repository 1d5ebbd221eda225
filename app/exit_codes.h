#pragma once
// marlinctl's exit statuses, and the failure that ends the program with one of them.
#include <stdexcept>
#include <string>

namespace marlin::cli {

namespace exit_code {
inline constexpr int kSuccess = 0;
inline constexpr int kDriverError = 1;        // a host call raised an error
inline constexpr int kBadUsage = 2;           // the command line is wrong
inline constexpr int kConnectionFailure = 3;  // the amplifier could not be reached or identified
// The device list or trace file is missing or broken, or the demo's simulator cannot start.
inline constexpr int kConfiguration = 4;
}  // namespace exit_code

class CliFailure : public std::runtime_error {
 public:
  CliFailure(int exitCode, const std::string& what) : std::runtime_error(what), code_(exitCode) {}
  int ExitCode() const { return code_; }

 private:
  int code_;
};

inline CliFailure UsageError(const std::string& what) {
  return CliFailure(exit_code::kBadUsage, what);
}

}  // namespace marlin::cli
