#pragma once
// Bytes from the system's random source, for tokens and names nobody may guess.
#include <cstddef>

namespace marlin::platform {

// Throws std::runtime_error when the system gives none.
void FillRandom(unsigned char* bytes, std::size_t count);

}  // namespace marlin::platform
