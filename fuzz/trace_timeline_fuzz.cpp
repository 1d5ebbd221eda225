// The session timeline on arbitrary trace files: whatever the lines hold, drawing them must not
// crash, and no text from them may open markup in the picture.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/timeline/timeline.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> lines(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == '\n') {
      lines.emplace_back();
    } else {
      lines.back() += static_cast<char>(data[i]);
    }
  }
  const std::string svg = marlin::timeline::RenderSvg(lines);
  if (svg.find("<script") != std::string::npos || svg.find("<svg", 1) != std::string::npos) {
    std::abort();
  }
  return 0;
}
