#pragma once
// One simulated amplifier: SCPI dialect, slow state changes on the shared clock, error queue,
// fault injection and transcript. The fronts (TCP socket, GPIB gateway, in-process link) only
// move bytes; everything an instrument decides is decided here.
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "clock/clock.h"
#include "sim/amplifier_config.h"
#include "sim/transcript.h"

namespace marlin::sim {

class AmplifierState;
class ErrorQueue;

inline constexpr std::string_view kLocalPeer = "local";

// What a front does with one received line.
struct Response {
  std::optional<std::string> reply;  // bytes to send (normally ending "\n"); nullopt: nothing
  Clock::Duration delay{};           // hold the reply this long on the clock before sending
  bool dropConnection = false;       // close the connection instead of answering
};

// What a test or a lab engineer can see of the instrument.
struct AmplifierSnapshot {
  bool powerOn = false;
  int bandPath = 0;
  bool rfOn = false;
  bool changing = false;  // a power, band or RF change is still under way
  std::string lockOwner;
  std::string lanTimeoutActive;
  std::string lanTimeoutPending;  // empty when no new value waits for a restart
  bool fault = false;
  std::vector<ErrorEntry> errors;  // oldest first
  int modulation[11] = {};         // CONTn:AMOD:FGA, index = band
  int operatingClass[11] = {};     // RFn:OPER:CLA
  int outputMode[11] = {};         // RFn:OUTP:MOD
};

class Amplifier {
 public:
  // Throws std::invalid_argument for a config no amplifier could have (see Validate).
  Amplifier(AmplifierConfig config, std::shared_ptr<Clock> clock);
  ~Amplifier();
  Amplifier(const Amplifier&) = delete;
  Amplifier& operator=(const Amplifier&) = delete;

  // One received line without its terminator -> what to send back, faults applied. Records the
  // line; the front records the reply with RecordSent when it actually leaves.
  Response Respond(std::string_view line, std::string_view peer = kLocalPeer);
  // In-process use: the reply (with "\n"), or nullopt for none; recorded as sent at once.
  // Delay and drop faults do not apply here: an in-process caller has no connection to lose.
  std::optional<std::string> Handle(std::string_view line);

  void RecordSent(std::string_view peer, std::string_view bytes);
  void RecordEvent(std::string_view peer, std::string_view event);
  // A line longer than kMaxLineBytes arrived: it is discarded and reported in the error queue.
  void ReportInputOverflow(std::string_view peer);
  // A new message arrived before the previous answer was read (GPIB semantics).
  void ReportQueryInterrupted(std::string_view peer);

  // Fault injection at run time. SetFaults replaces the answer faults and the band fault, queues
  // the given error entries and latches the given fault.
  void SetFaults(Faults faults);
  // The faults in force: `errors` is empty, `fault` is the latched fault if not yet cleared.
  Faults CurrentFaults() const;
  void PushError(ErrorEntry entry);
  void SetLockOwner(std::string owner);  // "NONE" frees the lock

  AmplifierSnapshot Snapshot() const;
  const AmplifierConfig& Config() const { return config_; }
  std::string Identification() const;
  Clock& GetClock() const { return *clock_; }

  std::vector<TranscriptEntry> TranscriptEntries() const { return transcript_.Entries(); }
  std::string TranscriptJsonLines() const { return transcript_.JsonLines(); }
  void ClearTranscript() { transcript_.Clear(); }
  void SetTranscriptSink(TranscriptSink sink) { transcript_.SetSink(std::move(sink)); }

 private:
  std::optional<std::string> Execute(std::string_view line, Clock::Duration now);
  Response ApplyAnswerFaults(std::string_view line, std::string answer) const;

  const AmplifierConfig config_;
  const std::shared_ptr<Clock> clock_;
  mutable std::mutex mutex_;
  std::unique_ptr<AmplifierState> state_;
  std::unique_ptr<ErrorQueue> errors_;
  Faults faults_;
  Transcript transcript_;
};

}  // namespace marlin::sim
