#include "app/line_source.h"

#include <istream>
#include <streambuf>

namespace marlin::cli {

std::optional<std::string> StreamLines::NextLine() {
  std::streambuf* buffer = in_.rdbuf();
  std::string line;
  bool any = false;
  for (;;) {
    const int c = buffer->sbumpc();
    if (c == std::char_traits<char>::eof()) {
      in_.setstate(std::ios::eofbit);
      if (!any) return std::nullopt;
      return line;
    }
    any = true;
    if (c == '\n') return line;
    if (line.size() <= limit_) line.push_back(static_cast<char>(c));
  }
}

}  // namespace marlin::cli
