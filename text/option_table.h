#pragma once
// Command-line options read against a table: marlinctl and marlin-sim each list their options
// once, with what each does to what the program builds, and word their own errors.
#include <cstddef>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace marlin::text {

// How a program reads its command line and words what it refuses.
struct OptionRules {
  // Each must throw.
  std::function<void(std::string_view name)> unknown;
  std::function<void(std::string_view name)> missingValue;
  // "--name=value" as well as "--name value".
  bool valueAfterEquals = false;
  // Takes each word that neither begins with "--" nor is an option's alias. Unset: such a word
  // names an option too (and is most likely unknown).
  std::function<void(const std::string& word)> positional;
  // Called with each option's name before its value is taken; may throw.
  std::function<void(std::string_view name)> check;
};

template <class Target>
class OptionTable {
 public:
  // A flag's value is empty.
  using Apply = std::function<void(Target&, std::string_view name, const std::string& value)>;
  struct Option {
    std::string_view name;  // "--port"
    bool takesValue;
    Apply apply;
    std::string_view alias = {};  // a whole word that stands for `name`: "-h"
  };

  explicit OptionTable(std::vector<Option> options) : options_(std::move(options)) {}

  // Reads args[first...] into `target`.
  void Read(const std::vector<std::string>& args, std::size_t first, Target& target,
            const OptionRules& rules) const {
    for (std::size_t i = first; i < args.size(); ++i) {
      const std::string& word = args[i];
      const Option* option = ByAlias(word);
      std::string name = option != nullptr ? std::string(option->name) : word;
      std::optional<std::string> value;
      if (option == nullptr) {
        if (rules.positional && word.rfind("--", 0) != 0) {
          rules.positional(word);
          continue;
        }
        const std::size_t equals = rules.valueAfterEquals ? word.find('=') : std::string::npos;
        if (equals != std::string::npos) {
          name = word.substr(0, equals);
          value = word.substr(equals + 1);
        }
        option = ByName(name);
      }
      // A flag given a value is no option the table knows.
      if (option == nullptr || (!option->takesValue && value)) Fail(rules.unknown, name);
      if (rules.check) rules.check(name);
      if (option->takesValue && !value) {
        if (i + 1 >= args.size()) Fail(rules.missingValue, name);
        value = args[++i];
      }
      option->apply(target, name, value.value_or(std::string()));
    }
  }

 private:
  const Option* ByName(std::string_view name) const {
    for (const Option& option : options_) {
      if (option.name == name) return &option;
    }
    return nullptr;
  }
  const Option* ByAlias(std::string_view word) const {
    for (const Option& option : options_) {
      if (!option.alias.empty() && option.alias == word) return &option;
    }
    return nullptr;
  }
  [[noreturn]] static void Fail(const std::function<void(std::string_view)>& error,
                                std::string_view name) {
    error(name);
    throw std::logic_error("an option error did not throw");
  }

  std::vector<Option> options_;
};

}  // namespace marlin::text
