#pragma once
// The hidden keep-alive form: holds the LAN socket id and a 60 s timer that nobody in the
// driver starts and whose tick does nothing.
#include <cstdint>
#include <memory>

#include "driver/host_services.h"

namespace marlin {

class Host;

class frmKeepAlive {
 public:
  // `host` makes the form's timer; it outlives the form.
  explicit frmKeepAlive(Host& host) : host_(host) {}

  static constexpr const char* kCaption = "Retrieve the amlifier status";
  static constexpr std::int32_t kTimerInterval = 60000;

  // Loads the form on first use (the load disables the timer), then sets the timer as asked.
  void ActivateKeepAlive(bool blnActivate);
  // Touches neither the form nor its timer.
  void SetAmplDevice(const std::int32_t& LanID) { AmplDevice = LanID; }

  std::int32_t AmplDeviceId() const { return AmplDevice; }
  bool Loaded() const { return timAmplStat != nullptr; }
  bool TimerEnabled() const { return timAmplStat && timAmplStat->Enabled(); }

 private:
  void Load();
  void Form_Load();
  void timAmplStat_Timer();

  Host& host_;
  std::int32_t AmplDevice = 0;
  std::unique_ptr<HostTimer> timAmplStat;
};

}  // namespace marlin
