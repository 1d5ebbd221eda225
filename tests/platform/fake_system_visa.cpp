// Stands in for a vendor's VISA library: the C entry points a system VISA exports, each call
// written to a log the test reads back. Built once complete and once without viClear; on Windows
// as a DLL that exports the operations by ordinal only, as VISA32.DLL is bound.
#include <cstdint>
#include <cstdio>
#include <string>
#include <type_traits>

#if defined(_WIN32) && !defined(_WIN64)
#define FAKE_VISA_CALL __stdcall
#else
#define FAKE_VISA_CALL
#endif

using ViUInt32 = std::uint32_t;
using ViStatus = std::int32_t;
using ViAttrState = std::conditional_t<sizeof(void*) == 8, std::uint64_t, std::uint32_t>;

namespace {
std::string callLog;

void Log(const std::string& line) { callLog += line + "\n"; }
}  // namespace

extern "C" {

const char* fakeVisaLog() { return callLog.c_str(); }
void fakeVisaClearLog() { callLog.clear(); }

ViStatus FAKE_VISA_CALL viOpenDefaultRM(ViUInt32* rm) {
  Log("viOpenDefaultRM");
  *rm = 100;
  return 0;
}

ViStatus FAKE_VISA_CALL viOpen(ViUInt32 rm, char* resource, ViUInt32 mode, ViUInt32 timeout,
                               ViUInt32* vi) {
  Log("viOpen " + std::to_string(rm) + " " + resource + " " + std::to_string(mode) + " " +
      std::to_string(timeout));
  *vi = 200;
  return 0;
}

ViStatus FAKE_VISA_CALL viSetAttribute(ViUInt32 vi, ViUInt32 attribute, ViAttrState value) {
  char text[64];
  std::snprintf(text, sizeof(text), "viSetAttribute %u 0x%08X %llu", vi, attribute,
                static_cast<unsigned long long>(value));
  Log(text);
  return 0;
}

#ifndef FAKE_VISA_WITHOUT_CLEAR
ViStatus FAKE_VISA_CALL viClear(ViUInt32 vi) {
  Log("viClear " + std::to_string(vi));
  return 0;
}
#endif

ViStatus FAKE_VISA_CALL viClose(ViUInt32 vi) {
  Log("viClose " + std::to_string(vi));
  return 0;
}

ViStatus FAKE_VISA_CALL viWrite(ViUInt32 vi, const unsigned char* bytes, ViUInt32 count,
                                ViUInt32* written) {
  Log("viWrite " + std::to_string(vi) + " [" +
      std::string(reinterpret_cast<const char*>(bytes), count) + "]");
  *written = count;
  return 0;
}

ViStatus FAKE_VISA_CALL viRead(ViUInt32 vi, unsigned char* buffer, ViUInt32 count, ViUInt32* read) {
  Log("viRead " + std::to_string(vi) + " " + std::to_string(count));
  buffer[0] = '1';
  buffer[1] = '\n';
  *read = 2;
  return 0x3FFF0005;
}

}  // extern "C"
