#pragma once
// The plain form nearly every device list is written in, read without the general TOML parser,
// whose cost per byte makes a list of 10,000 devices take the better part of a second:
//
//   # comment
//   [devices.AMP1]            # tables of one or two bare keys
//   interface = 50            # bare keys; decimal integers and floats; "basic" and 'literal'
//   lan_address = "h:5025"    # one-line strings without escapes; ASCII throughout
//
// Anything else (and anything wrong) is left to the general parser, which reads every TOML file
// and names every fault.
#include <cstddef>
#include <optional>
#include <string_view>
#include <unordered_map>

#include <toml.hpp>

namespace marlin {

struct TextSpan {
  std::size_t offset;
  std::size_t length;
};

struct PlainToml {
  toml::value root;
  // Where each table header and each value stands in the text.
  std::unordered_map<const toml::value*, TextSpan> places;
};

std::optional<PlainToml> ReadPlainToml(std::string_view text);

}  // namespace marlin
