#pragma once
// A VISA binding that records its calls, for failures no real VISA layer can be made to show.
#include <string>
#include <vector>

#include "io/visa_binding.h"

namespace marlin::testing {

class FakeVisa : public VisaBinding {
 public:
  ViStatus openDefaultRMStatus = 0;
  ViStatus openStatus = 0;
  ViSession nextSession = 1;
  std::string answer = "Quellmarkfabrik,PA4400,A1,SW:1.10\n";
  std::vector<std::string> calls;

  ViStatus viOpenDefaultRM(ViSession& rm) override {
    calls.push_back("viOpenDefaultRM");
    rm = openDefaultRMStatus == 0 ? nextSession++ : 0;
    return openDefaultRMStatus;
  }
  ViStatus viOpen(ViSession rm, const std::string& resource, std::uint32_t, std::uint32_t,
                  ViSession& vi) override {
    calls.push_back("viOpen " + std::to_string(rm) + " " + resource);
    vi = openStatus == 0 ? nextSession++ : 0;
    return openStatus;
  }
  ViStatus viSetAttribute(ViSession vi, ViAttr attribute, std::uint64_t value) override {
    calls.push_back("viSetAttribute " + std::to_string(vi) + " " + std::to_string(attribute) + " " +
                    std::to_string(value));
    return 0;
  }
  ViStatus viClear(ViSession vi) override {
    calls.push_back("viClear " + std::to_string(vi));
    return 0;
  }
  ViStatus viClose(ViSession vi) override {
    calls.push_back("viClose " + std::to_string(vi));
    return 0;
  }
  ViStatus viWrite(ViSession vi, const std::string& bytes, std::uint32_t count,
                   std::uint32_t& written) override {
    calls.push_back("viWrite " + std::to_string(vi) + " " + bytes.substr(0, count));
    written = count;
    return 0;
  }
  ViStatus viRead(ViSession vi, std::string& buffer, std::uint32_t count,
                  std::uint32_t& read) override {
    calls.push_back("viRead " + std::to_string(vi));
    read = static_cast<std::uint32_t>(std::min<std::size_t>(answer.size(), count));
    buffer.replace(0, read, answer.substr(0, read));
    return 0x3FFF0005;  // ended by the termination character
  }
};

}  // namespace marlin::testing
