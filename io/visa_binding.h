#pragma once
// The seven VISA operations the driver calls. The host service factory makes the binding, at the
// first VISA call of a thread, so the driver works on its other routes where no VISA library is
// installed.
#include <cstdint>
#include <string>

namespace marlin {

using ViSession = std::int32_t;
using ViStatus = std::int32_t;
using ViAttr = std::uint32_t;

namespace visa_attr {
inline constexpr ViAttr kTermCharEn = 0x3FFF0038;
inline constexpr ViAttr kTermChar = 0x3FFF0018;
inline constexpr ViAttr kSuppressEndEn = 0x3FFF0036;
inline constexpr ViAttr kTimeoutValue = 0x3FFF001A;
}  // namespace visa_attr

// Where the seven operations come from: a system VISA library, the built-in TCPIP SOCKET layer,
// or a test's fake.
class VisaBinding {
 public:
  virtual ~VisaBinding() = default;
  virtual ViStatus viOpenDefaultRM(ViSession& rm) = 0;
  virtual ViStatus viOpen(ViSession rm, const std::string& resource, std::uint32_t accessMode,
                          std::uint32_t openTimeout, ViSession& vi) = 0;
  virtual ViStatus viSetAttribute(ViSession vi, ViAttr attribute, std::uint64_t value) = 0;
  virtual ViStatus viClear(ViSession vi) = 0;
  virtual ViStatus viClose(ViSession vi) = 0;
  virtual ViStatus viWrite(ViSession vi, const std::string& bytes, std::uint32_t count,
                           std::uint32_t& written) = 0;
  // Reads at most `count` bytes into the front of `buffer` (which holds at least `count`).
  virtual ViStatus viRead(ViSession vi, std::string& buffer, std::uint32_t count,
                          std::uint32_t& read) = 0;
};

}  // namespace marlin
