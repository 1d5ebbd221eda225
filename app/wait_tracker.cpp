#include "app/wait_tracker.h"

#include <chrono>
#include <cstdint>
#include <utility>

#include "control/timings.h"
#include "driver/cls_marlin.h"
#include "driver/procedure_labels.h"
#include "io/scpi.h"

namespace marlin::cli {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr seconds kLongConfirmation{timing::kPowerConfirmation};
constexpr seconds kShortConfirmation{timing::kOutputOffConfirmation};
constexpr milliseconds kBandSwitch{static_cast<int>(timing::kLongestBandSwitch)};

bool Is(const std::string& label, const ProcedureLabel& procedure) {
  return label == procedure.start;
}

std::string After(const std::string& text, const std::string& prefix) {
  return text.rfind(prefix, 0) == 0 ? text.substr(prefix.size()) : text;
}

}  // namespace

WaitTracker::WaitTracker(std::shared_ptr<Clock> clock, WaitListener& listener)
    : clock_(std::move(clock)), listener_(listener) {}

void WaitTracker::ProcedureStarted(const std::string& label, const std::string& data) {
  const bool polling = Is(label, labels::kWaitForComplete) || Is(label, labels::kActivateBand);
  frames_.push_back({label, data, clock_->Now(), polling});
}

void WaitTracker::ProcedureEnded(const std::string& label) {
  for (std::size_t i = frames_.size(); i-- > 0;) {
    if (frames_[i].label != label) continue;
    if (current_ && current_->spansProcedure && current_->frame >= i) End();
    frames_.resize(i);
    return;
  }
}

void WaitTracker::Reset() {
  if (current_) End();
  frames_.clear();
}

WaitActivity WaitTracker::Describe(double milliseconds) const {
  WaitActivity activity;
  const Frame* inner = frames_.empty() ? nullptr : &frames_.back();
  if (inner && Is(inner->label, labels::kWaitForComplete)) {
    const std::string command = After(inner->data, trace_text::kCommand);
    std::string target;
    for (const Frame& frame : frames_) {
      if (Is(frame.label, labels::kSetNewState)) target = After(frame.data, trace_text::kNewState);
    }
    activity.what = (target.empty() ? "" : target + ": ") + "confirming " + command;
    if (command == scpi::kPowerQuery) activity.limit = kLongConfirmation;
    if (command == scpi::kOutputQuery) {
      activity.limit =
          target == clsMarlin::StateName(state::kOperate) ? kLongConfirmation : kShortConfirmation;
    }
  } else if (inner && Is(inner->label, labels::kActivateBand)) {
    activity.what = "switching the band path";
    activity.limit = kBandSwitch;
  } else {
    activity.what = (inner ? inner->label + ": " : std::string()) + "pause";
    activity.limit = FromMilliseconds(milliseconds);
  }
  return activity;
}

void WaitTracker::WaitStarting(double milliseconds) {
  if (current_ && current_->spansProcedure) {
    Progress();
    return;
  }
  // The transport's pause between a query and its answer belongs to the query.
  quiet_ = !frames_.empty() && Is(frames_.back().label, labels::kReadCmdResponse);
  if (quiet_) return;
  if (current_) End();
  const bool polling = !frames_.empty() && frames_.back().polling;
  Current next;
  next.activity = Describe(milliseconds);
  next.started = polling ? frames_.back().started : clock_->Now();
  next.spansProcedure = polling;
  next.frame = polling ? frames_.size() - 1 : 0;
  current_ = std::move(next);
  current_->activity.elapsed = clock_->Now() - current_->started;
  listener_.WaitBegan(current_->activity);
}

void WaitTracker::WaitGoingOn() {
  if (!quiet_) Progress();
}

void WaitTracker::WaitFinished() {
  if (quiet_) {
    quiet_ = false;
  } else if (current_ && !current_->spansProcedure) {
    End();
  } else {
    Progress();
  }
}

void WaitTracker::Progress() {
  if (!current_) return;
  current_->activity.elapsed = clock_->Now() - current_->started;
  listener_.WaitProgressed(current_->activity);
}

void WaitTracker::End() {
  current_->activity.elapsed = clock_->Now() - current_->started;
  const WaitActivity ended = std::move(current_->activity);
  current_.reset();
  listener_.WaitEnded(ended);
}

}  // namespace marlin::cli
