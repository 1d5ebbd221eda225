#include <arpa/inet.h>

#include "platform/ip_address.h"

namespace marlin::platform {

bool IsIpAddress(const std::string& text) {
  unsigned char bytes[16];
  return inet_pton(AF_INET, text.c_str(), bytes) == 1 ||
         inet_pton(AF_INET6, text.c_str(), bytes) == 1;
}

}  // namespace marlin::platform
