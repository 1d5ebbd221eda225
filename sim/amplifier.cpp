#include "sim/amplifier.h"

#include <algorithm>

#include "sim/amplifier_state.h"
#include "sim/command_table.h"
#include "sim/error_queue.h"
#include "sim/scpi_header.h"
#include "sim/scpi_texts.h"
#include "sim/scpi_values.h"

namespace marlin::sim {

namespace {

// A sent answer is recorded as the line it carries, marked when its "\n" is missing.
TranscriptEntry SentEntry(Clock::Duration now, std::string_view peer, std::string_view bytes) {
  TranscriptEntry entry{now, Direction::Sent, std::string(peer), std::string(bytes), false};
  if (!entry.text.empty() && entry.text.back() == '\n') {
    entry.text.pop_back();
    entry.terminated = true;
  }
  return entry;
}

const CommandEntry* FindCommand(const ProgramUnit& unit, std::vector<long>& suffixes) {
  for (const auto& entry : CommandTable()) {
    if (auto matched = entry.pattern.Match(unit.nodes)) {
      suffixes = std::move(*matched);
      return &entry;
    }
  }
  return nullptr;
}

}  // namespace

Amplifier::Amplifier(AmplifierConfig config, std::shared_ptr<Clock> clock)
    : config_((Validate(config), std::move(config))),
      clock_(std::move(clock)),
      state_(std::make_unique<AmplifierState>(config_)),
      errors_(std::make_unique<ErrorQueue>(config_.errorQueueDepth)),
      transcript_(config_.transcriptCapacity) {
  if (!clock_) throw std::invalid_argument("amplifier needs a clock");
  SetFaults(config_.faults);
}

Amplifier::~Amplifier() = default;

std::string Amplifier::Identification() const { return IdentificationOf(config_); }

// A line takes effect at the time it arrived: the transcript entry that records it may already
// have let a test's clock move on.
std::optional<std::string> Amplifier::Execute(std::string_view line, Clock::Duration now) {
  state_->Settle(now);
  Instrument instrument{*state_, *errors_, config_, faults_, now};
  std::string answers;
  bool answered = false;
  const auto units = SplitUnits(line);
  for (std::string_view text : units) {
    if (TrimBlanks(text).empty() && units.size() == 1) break;
    auto unit = ParseUnit(text);
    if (!unit) {
      errors_->Push(scpi_error::kSyntax, TrimBlanks(text));
      break;  // the rest of a message after a syntax error is not carried out
    }
    Call call;
    const CommandEntry* command = FindCommand(*unit, call.suffixes);
    const bool known = command &&
                       (unit->query ? command->query != nullptr : command->set != nullptr) &&
                       (!command->available || command->available(config_));
    if (!known) {
      errors_->Push(scpi_error::kUndefinedHeader, TrimBlanks(text));
      break;
    }
    call.parameter = unit->parameter;
    if (unit->query) {
      if (!unit->parameter.empty()) {
        errors_->Push(scpi_error::kParameterNotAllowed, unit->parameter);
        continue;
      }
      if (auto answer = command->query(instrument, call)) {
        if (answered) answers += ';';
        answers += *answer;
        answered = true;
      }
      continue;
    }
    if (command->setTakesParameter && unit->parameter.empty()) {
      errors_->Push(scpi_error::kMissingParameter, TrimBlanks(text));
      continue;
    }
    if (!command->setTakesParameter && !unit->parameter.empty()) {
      errors_->Push(scpi_error::kParameterNotAllowed, unit->parameter);
      continue;
    }
    if (!command->allowedWhenLocked && state_->lockOwner != kLockFree) {
      errors_->Push(scpi_error::kSettingsConflict,
                    std::string(conflict::kLockedBy) + state_->lockOwner);
      continue;
    }
    command->set(instrument, call);
  }
  if (!answered) return std::nullopt;
  return answers;  // may be empty: an empty answer is still an answer
}

Response Amplifier::ApplyAnswerFaults(std::string_view line, std::string answer) const {
  Response response;
  if (faults_.silent) return response;
  if (faults_.garbage) answer = std::string(kGarbage);
  if (answer.size() < faults_.overlongBytes) answer.resize(faults_.overlongBytes, 'X');
  if (!faults_.noTerminator) answer += '\n';
  response.reply = std::move(answer);
  if (faults_.delayOnly.empty() || line.substr(0, faults_.delayOnly.size()) == faults_.delayOnly)
    response.delay = faults_.answerDelay;
  return response;
}

Response Amplifier::Respond(std::string_view line, std::string_view peer) {
  std::lock_guard lock(mutex_);
  const Clock::Duration now = clock_->Now();
  transcript_.Add({now, Direction::Received, std::string(peer), std::string(line)});
  if (faults_.dropConnection) {
    transcript_.Add({now, Direction::Event, std::string(peer), "dropped"});
    Response dropped;
    dropped.dropConnection = true;
    return dropped;
  }
  auto answer = Execute(line, now);
  if (!answer) return {};
  return ApplyAnswerFaults(line, std::move(*answer));
}

std::optional<std::string> Amplifier::Handle(std::string_view line) {
  Response response;
  {
    std::lock_guard lock(mutex_);
    const Clock::Duration now = clock_->Now();
    transcript_.Add({now, Direction::Received, std::string(kLocalPeer), std::string(line)});
    auto answer = Execute(line, now);
    if (answer) response = ApplyAnswerFaults(line, std::move(*answer));
  }
  if (response.reply) RecordSent(kLocalPeer, *response.reply);
  return response.reply;
}

void Amplifier::RecordSent(std::string_view peer, std::string_view bytes) {
  transcript_.Add(SentEntry(clock_->Now(), peer, bytes));
}

void Amplifier::RecordEvent(std::string_view peer, std::string_view event) {
  transcript_.Add({clock_->Now(), Direction::Event, std::string(peer), std::string(event)});
}

void Amplifier::ReportInputOverflow(std::string_view peer) {
  std::lock_guard lock(mutex_);
  errors_->Push(scpi_error::kTooMuchData, "line longer than " + std::to_string(kMaxLineBytes));
  transcript_.Add({clock_->Now(), Direction::Event, std::string(peer), "line too long, discarded"});
}

void Amplifier::ReportQueryInterrupted(std::string_view peer) {
  std::lock_guard lock(mutex_);
  errors_->Push(scpi_error::kQueryInterrupted);
  transcript_.Add({clock_->Now(), Direction::Event, std::string(peer), "unread answer discarded"});
}

void Amplifier::SetFaults(Faults faults) {
  ValidateFaults(faults);
  std::lock_guard lock(mutex_);
  state_->Settle(clock_->Now());
  for (const auto& entry : faults.errors) errors_->Push(entry);
  if (faults.fault) state_->LatchFault(*faults.fault);
  faults_ = std::move(faults);
}

Faults Amplifier::CurrentFaults() const {
  std::lock_guard lock(mutex_);
  Faults current = faults_;
  current.errors.clear();  // queued once when set; Snapshot().errors shows the queue
  current.fault = state_->Fault();
  return current;
}

void Amplifier::PushError(ErrorEntry entry) {
  std::lock_guard lock(mutex_);
  errors_->Push(std::move(entry));
}

void Amplifier::SetLockOwner(std::string owner) {
  if (!owner.empty() && !IsAnswerSafe(owner))
    throw std::invalid_argument("lock owner \"" + owner +
                                "\": needs printable characters without , ; or quotes");
  std::lock_guard lock(mutex_);
  state_->lockOwner = std::move(owner);
}

AmplifierSnapshot Amplifier::Snapshot() const {
  std::lock_guard lock(mutex_);
  state_->Settle(clock_->Now());
  AmplifierSnapshot snapshot;
  snapshot.powerOn = state_->PowerOn();
  snapshot.bandPath = state_->BandPath();
  snapshot.rfOn = state_->RfOn();
  snapshot.changing = state_->Changing();
  snapshot.lockOwner = state_->lockOwner;
  snapshot.lanTimeoutActive = state_->LanTimeoutActive();
  snapshot.lanTimeoutPending = state_->LanTimeoutPending();
  snapshot.fault = state_->Fault().has_value();
  snapshot.errors = errors_->Entries();
  std::copy(state_->modulation.begin(), state_->modulation.end(), snapshot.modulation);
  std::copy(state_->operatingClass.begin(), state_->operatingClass.end(), snapshot.operatingClass);
  std::copy(state_->outputMode.begin(), state_->outputMode.end(), snapshot.outputMode);
  return snapshot;
}

}  // namespace marlin::sim
