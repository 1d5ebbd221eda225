#pragma once
// Cuts a byte stream into lines ended by "\n" (a "\r" before it is dropped), never holding
// more than kMaxLineBytes of one line: the rest of an over-long line is skipped.
#include <string>
#include <string_view>

#include "sim/amplifier_config.h"

namespace marlin::sim {

class LineSplitter {
 public:
  // Calls line(text) for each complete line and overflow() once per over-long line.
  template <class OnLine, class OnOverflow>
  void Feed(std::string_view bytes, OnLine&& line, OnOverflow&& overflow) {
    for (char c : bytes) {
      if (c == '\n') {
        if (!discarding_) {
          if (!partial_.empty() && partial_.back() == '\r') partial_.pop_back();
          line(std::string_view(partial_));
        }
        partial_.clear();
        discarding_ = false;
      } else if (!discarding_) {
        if (partial_.size() == kMaxLineBytes) {
          partial_.clear();
          discarding_ = true;
          overflow();
        } else {
          partial_ += c;
        }
      }
    }
  }

 private:
  std::string partial_;
  bool discarding_ = false;
};

}  // namespace marlin::sim
