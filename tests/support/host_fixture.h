#pragma once
// Installs this thread's host services for one test and drops them afterwards.
#include <gtest/gtest.h>

#include <memory>

#include "host/thread_host.h"
#include "tests/support/recording_trace.h"

namespace marlin::testing {

class HostFixture : public ::testing::Test {
 protected:
  HostFixture() {
    auto t = std::make_unique<RecordingTrace>();
    trace = t.get();
    host::Replace(std::move(t));
  }
  ~HostFixture() override { host::ResetThread(); }

  template <class Concrete>
  Concrete* Install(std::unique_ptr<Concrete> service) {
    Concrete* raw = service.get();
    host::Replace(std::move(service));
    return raw;
  }

  RecordingTrace* trace;
};

}  // namespace marlin::testing
