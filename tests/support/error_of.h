#pragma once
// The error a piece of work raises; a test failure (and an empty error) when it raises none.
#include <gtest/gtest.h>

#include "driver/marlin_error.h"

namespace marlin::testing {

template <class F>
MarlinError ErrorOf(F&& work) {
  try {
    work();
  } catch (const MarlinError& e) {
    return e;
  }
  ADD_FAILURE() << "no error was raised";
  return MarlinError(0, "");
}

}  // namespace marlin::testing
