#include "tests/support/scripted_instrument.h"

#include "driver/marlin_error.h"

namespace marlin::testing {
namespace {
std::string WithoutTerminator(std::string line) {
  if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0)
    line.resize(line.size() - 2);
  return line;
}
}  // namespace

void ScriptedInstrument::LanSend(std::int32_t, const std::string& text, bool& ok) {
  if (failEveryExchange) throw MarlinError(4040, "scripted failure");
  sent.push_back(text);
  ok = !Fails();
}

void ScriptedInstrument::LanQuery(std::int32_t, const std::string& text, std::string& answer,
                                  bool& ok) {
  if (failEveryExchange) throw MarlinError(4040, "scripted failure");
  sent.push_back(text);
  auto& queue = answers[WithoutTerminator(text)];
  answer = queue.empty() ? std::string() : queue.front();
  if (queue.size() > 1) queue.pop_front();
  ok = !Fails();
}

std::vector<std::string> ScriptedInstrument::Lines() const {
  std::vector<std::string> out;
  out.reserve(sent.size());
  for (const auto& s : sent) out.push_back(WithoutTerminator(s));
  return out;
}

}  // namespace marlin::testing
