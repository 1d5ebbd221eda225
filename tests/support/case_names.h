#pragma once
// Test names for a table of cases crossed with the rig's routes: "<case>_<route>".
#include <cctype>
#include <string>
#include <tuple>

#include "tests/support/sim_rig.h"

namespace marlin::testing {

inline std::string IdentifierOf(std::string text) {
  for (char& c : text) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return text;
}

// For INSTANTIATE_TEST_SUITE_P over Combine(cases, ValuesIn(kAllRoutes)); a case names itself
// with its `title`.
struct CaseOnRouteName {
  template <class Case>
  std::string operator()(
      const ::testing::TestParamInfo<std::tuple<Case, const char*>>& info) const {
    return IdentifierOf(std::get<0>(info.param).title) + "_" + RouteLabel(std::get<1>(info.param));
  }
};

}  // namespace marlin::testing
