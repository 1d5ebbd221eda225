#include "app/wait_tracker.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "driver/procedure_labels.h"

namespace marlin::cli {
namespace {

using timing::DriverWait;
using timing::WaitKind;

bool PollsOver(const std::string& label) {
  for (const DriverWait& wait : timing::DriverWaits()) {
    if (wait.kind == WaitKind::Polls && wait.procedure == label) return true;
  }
  return false;
}

}  // namespace

WaitTracker::WaitTracker(std::shared_ptr<Clock> clock, WaitListener& listener)
    : clock_(std::move(clock)), listener_(listener) {}

void WaitTracker::ProcedureStarted(const std::string& label) {
  // A connection check may lead to another route; its identification query shows the pause.
  if (label == labels::kCheckDevicePhysical.start) queryPauseMs_ = 0;
  frames_.push_back({label, Waited(), PollsOver(label)});
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
  announced_.reset();
}

void WaitTracker::DriverWaitStarts(WaitId id, double /*milliseconds*/) { announced_ = id; }

WaitActivity WaitTracker::Describe(const DriverWait* wait, double milliseconds) const {
  WaitActivity activity;
  if (wait) {
    activity.what = wait->description;
    // A pause lasts what the driver asked, whatever length the table knows it by.
    activity.limit = FromMilliseconds(
        wait->kind == WaitKind::Pause ? milliseconds : timing::LimitMs(*wait, queryPauseMs_));
  } else {
    activity.what = (frames_.empty() ? std::string() : frames_.back().label + ": ") + "pause";
    activity.limit = FromMilliseconds(milliseconds);
  }
  return activity;
}

Clock::Duration WaitTracker::Waited() const {
  if (!ongoing_) return waited_;
  return waited_ + std::min(clock_->Now() - ongoing_->started, ongoing_->length);
}

void WaitTracker::WaitStarting(double milliseconds) {
  const DriverWait* wait = announced_ ? &timing::WaitEntry(*announced_) : nullptr;
  announced_.reset();
  const bool withinQuery = wait && wait->kind == WaitKind::WithinQuery;
  if (withinQuery) queryPauseMs_ = milliseconds;
  const Clock::Duration before = Waited();
  ongoing_ = Ongoing{clock_->Now(), FromMilliseconds(milliseconds)};
  if (current_ && current_->spansProcedure) {
    Progress();
    return;
  }
  quiet_ = withinQuery;
  if (quiet_) return;
  if (current_) End();
  const bool polling = !frames_.empty() && frames_.back().polling;
  Current next;
  next.activity = Describe(wait, milliseconds);
  next.waitedBefore = polling ? frames_.back().waitedBefore : before;
  next.spansProcedure = polling;
  next.frame = polling ? frames_.size() - 1 : 0;
  current_ = std::move(next);
  current_->activity.elapsed = Waited() - current_->waitedBefore;
  listener_.WaitBegan(current_->activity);
}

void WaitTracker::WaitGoingOn() {
  if (!quiet_) Progress();
}

void WaitTracker::WaitFinished(bool whole) {
  if (ongoing_) waited_ = whole ? waited_ + ongoing_->length : Waited();
  ongoing_.reset();
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
  current_->activity.elapsed = Waited() - current_->waitedBefore;
  listener_.WaitProgressed(current_->activity);
}

void WaitTracker::End() {
  current_->activity.elapsed = Waited() - current_->waitedBefore;
  const WaitActivity ended = std::move(current_->activity);
  current_.reset();
  listener_.WaitEnded(ended);
}

}  // namespace marlin::cli
