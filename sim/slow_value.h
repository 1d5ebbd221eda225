#pragma once
// A value that takes time to change: it reads as before until the change's end on the clock.
#include <optional>

#include "clock/clock.h"

namespace marlin::sim {

template <class T>
class SlowValue {
 public:
  explicit SlowValue(T value) : value_(value) {}

  // True when a change completed now.
  bool Settle(Clock::Duration now) {
    if (!target_ || now < due_) return false;
    value_ = *target_;
    target_.reset();
    return true;
  }
  // Settle(now) completes a change that takes no time.
  void Change(T to, Clock::Duration now, Clock::Duration span) {
    target_ = to;
    due_ = now + span;
  }
  // At once, cancelling a change under way.
  void Set(T to) {
    value_ = to;
    target_.reset();
  }
  void Cancel() { target_.reset(); }

  const T& Value() const { return value_; }
  // Where the value is going: the target of a change under way, else the value.
  const T& Heading() const { return target_ ? *target_ : value_; }
  bool Changing() const { return target_.has_value(); }

 private:
  T value_;
  std::optional<T> target_;
  Clock::Duration due_{};
};

}  // namespace marlin::sim
