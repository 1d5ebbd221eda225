#pragma once
// A minimal check list for the programs that run under wine, where GoogleTest is not available:
// each check prints one line, and the program ends with "<name>: N passed, M failed".
#include <cstdio>
#include <string>

namespace marlin::com::testing {

class Checks {
 public:
  explicit Checks(const char* program) : program_(program) {}

  bool Expect(bool ok, const std::string& what, const std::string& detail = {}) {
    if (ok) {
      ++passed_;
      std::printf("ok   %s\n", what.c_str());
    } else {
      ++failed_;
      std::printf("FAIL %s%s%s\n", what.c_str(), detail.empty() ? "" : ": ", detail.c_str());
    }
    std::fflush(stdout);
    return ok;
  }

  template <class T>
  bool Equal(const T& actual, const T& expected, const std::string& what) {
    return Expect(actual == expected, what,
                  "got [" + Text(actual) + "], expected [" + Text(expected) + "]");
  }

  int Finish() const {
    std::printf("%s: %d passed, %d failed\n", program_, passed_, failed_);
    return failed_ == 0 ? 0 : 1;
  }

 private:
  static std::string Text(const std::string& value) { return value; }
  template <class T>
  static std::string Text(const T& value) {
    return std::to_string(value);
  }

  const char* program_;
  int passed_ = 0;
  int failed_ = 0;
};

}  // namespace marlin::com::testing
