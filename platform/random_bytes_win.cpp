#include <windows.h>
// bcrypt.h needs the types of windows.h first.
#include <bcrypt.h>

#include <limits>
#include <stdexcept>

#include "platform/random_bytes.h"

namespace marlin::platform {

void FillRandom(unsigned char* bytes, std::size_t count) {
  if (count > std::numeric_limits<ULONG>::max() ||
      BCryptGenRandom(nullptr, bytes, static_cast<ULONG>(count), BCRYPT_USE_SYSTEM_PREFERRED_RNG) !=
          0) {
    throw std::runtime_error("no random source");
  }
}

}  // namespace marlin::platform
