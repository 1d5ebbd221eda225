#pragma once
// Where the console's lines come from: a script on a pipe or file, or a person at a terminal.
#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>

namespace marlin::cli {

class LineSource {
 public:
  virtual ~LineSource() = default;
  // The next line without its line feed; nullopt at the end of input.
  virtual std::optional<std::string> NextLine() = 0;
};

// Lines of a stream. A line longer than `limit` comes back cut to limit + 1 bytes (the rest of
// it is skipped), so the reader never grows without bound and the parser can refuse it.
class StreamLines final : public LineSource {
 public:
  StreamLines(std::istream& in, std::size_t limit) : in_(in), limit_(limit) {}
  std::optional<std::string> NextLine() override;

 private:
  std::istream& in_;
  std::size_t limit_;
};

}  // namespace marlin::cli
