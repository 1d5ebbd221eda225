// Any bytes as what a client sends the simulated amplifier, one line per "\n". For every line:
// the units it splits into join back to the line; a unit that parses writes back to a header
// that parses to the same unit; the reply, if any, is one line of bounded length; the error
// queue never grows past its depth. At the end every queued entry comes back from "SYST:ERR?"
// as code,"text" (quotes doubled), oldest first, and the driver reads each code back.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "clock/clock.h"
#include "driver/text_numbers.h"
#include "sim/amplifier.h"
#include "sim/line_splitter.h"
#include "sim/scpi_header.h"

namespace {

using namespace marlin::sim;
using namespace std::chrono_literals;

void Require(bool holds) {
  if (!holds) __builtin_trap();
}

bool IsMnemonicChar(char c) { return (c >= 'A' && c <= 'Z') || c == '_'; }

std::string Written(const ProgramUnit& unit) {
  std::string header;
  for (const HeaderNode& node : unit.nodes) {
    if (!header.empty() && header.front() != '*') header += ':';
    header += node.mnemonic;
    if (node.suffix) header += std::to_string(*node.suffix);
  }
  if (unit.query) header += '?';
  return unit.parameter.empty() ? header : header + " " + unit.parameter;
}

void CheckUnits(std::string_view line) {
  const std::vector<std::string_view> units = SplitUnits(line);
  Require(!units.empty());
  std::string joined;
  for (std::size_t i = 0; i < units.size(); ++i) {
    joined += (i == 0 ? "" : ";") + std::string(units[i]);
  }
  Require(joined == line);
  for (std::string_view text : units) {
    const std::optional<ProgramUnit> unit = ParseUnit(text);
    if (!unit) continue;
    Require(!unit->nodes.empty());
    for (std::size_t i = 0; i < unit->nodes.size(); ++i) {
      const std::string& mnemonic = unit->nodes[i].mnemonic;
      Require(!mnemonic.empty());
      for (std::size_t j = 0; j < mnemonic.size(); ++j) {
        Require(IsMnemonicChar(mnemonic[j]) || (i == 0 && j == 0 && mnemonic[j] == '*'));
      }
      Require(!unit->nodes[i].suffix || *unit->nodes[i].suffix >= 0);
    }
    Require(TrimBlanks(unit->parameter) == unit->parameter);
    const std::optional<ProgramUnit> again = ParseUnit(Written(*unit));
    Require(again.has_value());
    Require(again->query == unit->query && again->parameter == unit->parameter);
    Require(again->nodes.size() == unit->nodes.size());
    for (std::size_t i = 0; i < unit->nodes.size(); ++i) {
      Require(again->nodes[i].mnemonic == unit->nodes[i].mnemonic);
      Require(again->nodes[i].suffix == unit->nodes[i].suffix);
    }
  }
}

// The text of a code,"text" answer with its doubled quotes undone; traps on any other form.
std::string QuotedText(std::string_view answer, int code) {
  const std::string prefix = std::to_string(code) + ",\"";
  Require(answer.substr(0, prefix.size()) == prefix);
  Require(answer.size() >= prefix.size() + 2 && answer.substr(answer.size() - 2) == "\"\n");
  const std::string_view body = answer.substr(prefix.size(), answer.size() - prefix.size() - 2);
  std::string text;
  for (std::size_t i = 0; i < body.size(); ++i) {
    text += body[i];
    if (body[i] == '"') {
      Require(i + 1 < body.size() && body[i + 1] == '"');
      ++i;
    }
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto clock = std::make_shared<marlin::VirtualClock>();
  AmplifierConfig config;
  config.model = "PA4413";
  config.firmware = "3.3";
  config.initial.powerOn = true;
  config.noBandAnswer = "NONE";
  config.errorQueueDepth = 4;
  config.transcriptCapacity = 16;
  Amplifier amplifier(config, clock);

  LineSplitter splitter;
  splitter.Feed(
      std::string_view(reinterpret_cast<const char*>(data), size),
      [&](std::string_view line) {
        CheckUnits(line);
        const std::optional<std::string> reply = amplifier.Handle(line);
        if (reply) {
          Require(!reply->empty() && reply->back() == '\n');
          Require(reply->find('\n') == reply->size() - 1);
          Require(reply->size() <= (kMaxLineBytes + 64) * SplitUnits(line).size());
        }
        Require(amplifier.Snapshot().errors.size() <= config.errorQueueDepth);
        clock->Advance(700ms);  // lets power, band and RF changes settle over a few lines
      },
      [] {});

  const std::vector<ErrorEntry> queued = amplifier.Snapshot().errors;
  for (const ErrorEntry& entry : queued) {
    const std::optional<std::string> answer = amplifier.Handle("SYST:ERR?");
    Require(answer.has_value());
    Require(QuotedText(*answer, entry.code) == entry.text);
    Require(marlin::LeadingNumber(*answer) == entry.code);
  }
  const std::optional<std::string> empty = amplifier.Handle("SYST:ERR?");
  Require(empty.has_value() && QuotedText(*empty, 0) == "No error");
  return 0;
}
