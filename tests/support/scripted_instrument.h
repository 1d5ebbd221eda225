#pragma once
// An instrument that answers from a script, behind the LAN members of HostDevList. For the cases
// no real instrument can show: answers chosen per query, every exchange failing.
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "clock/clock.h"
#include "driver/host_services.h"

namespace marlin::testing {

class ScriptedInstrument : public HostDevList {
 public:
  // Answers per query (without "\r\n"); the last answer of a queue repeats.
  std::map<std::string, std::deque<std::string>> answers;
  std::vector<std::string> sent;     // every line as it reached the instrument
  bool failEveryExchange = false;    // every exchange raises
  std::size_t failFromExchange = 0;  // from this exchange on (1-based) the service answers false
  bool connected = true;

  void Answer(const std::string& query, std::deque<std::string> replies) {
    answers[query] = std::move(replies);
  }

  std::int32_t GetAddress(const std::string&) override { return 0; }
  std::string GetVisaResource(const std::string&) override { return {}; }
  std::string GetLanAddress(const std::string&) override { return {}; }
  void SetLanAddress(const std::string&, const std::string&) override {}
  std::string GetDescription(const std::string&) override { return {}; }
  std::int32_t GetInterface(const std::string&) override { return 0; }
  void LanOpen(const std::string&, std::int32_t, std::int32_t, const std::string&,
               std::int32_t& socket, bool& ok) override {
    socket = 1;
    ok = true;
  }
  void LanClose(std::int32_t, bool& ok) override { ok = true; }
  void LanSend(std::int32_t, const std::string& text, bool& ok) override;
  void LanQuery(std::int32_t, const std::string& text, std::string& answer, bool& ok) override;
  void LanIsConnected(std::int32_t, bool& isConnected) override { isConnected = connected; }
  void CheckLanDevice(const std::string&, bool& allowed) override { allowed = true; }

  // The lines sent, without their terminators.
  std::vector<std::string> Lines() const;

 private:
  bool Fails() const { return failFromExchange != 0 && sent.size() >= failFromExchange; }
};

// HostTools on a virtual clock, remembering every wait.
class VirtualTools : public HostTools {
 public:
  explicit VirtualTools(VirtualClock& clock) : clock_(clock) {}
  std::vector<float> waits;
  double LowestFrequency() override { return 8e7; }
  double HighestFrequency() override { return 6e9; }
  bool IsBetween(std::int64_t low, std::int64_t value, std::int64_t high) override {
    return low <= value && value <= high;
  }
  void Wait(float milliseconds) override {
    waits.push_back(milliseconds);
    clock_.Advance(FromMilliseconds(milliseconds));
  }

 private:
  VirtualClock& clock_;
};

}  // namespace marlin::testing
