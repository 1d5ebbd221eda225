#include <sys/random.h>

#include <cerrno>
#include <stdexcept>

#include "platform/random_bytes.h"

namespace marlin::platform {

void FillRandom(unsigned char* bytes, std::size_t count) {
  std::size_t got = 0;
  while (got < count) {
    const ssize_t n = getrandom(bytes + got, count - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw std::runtime_error("no random source");
    got += static_cast<std::size_t>(n);
  }
}

}  // namespace marlin::platform
