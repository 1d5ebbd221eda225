#include "platform/visa_resource.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace marlin {
namespace {

constexpr std::string_view kSeparator = "::";
constexpr std::string_view kTcpip = "TCPIP";
constexpr std::string_view kSocket = "SOCKET";
constexpr std::array<std::string_view, 5> kOtherClasses = {"INSTR", "INTFC", "BACKPLANE", "SERVANT",
                                                           "MEMACC"};

bool SameLetters(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

bool AllDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

// Digits only, at most `limit`; empty is not a number.
bool ParseNumber(std::string_view text, std::uint32_t limit, std::uint32_t& value) {
  if (text.empty() || text.size() > 10 || !AllDigits(text)) return false;
  std::uint64_t v = 0;
  for (char c : text) v = v * 10 + static_cast<std::uint64_t>(c - '0');
  if (v > limit) return false;
  value = static_cast<std::uint32_t>(v);
  return true;
}

std::string_view LastClass(std::string_view name) {
  auto at = name.rfind(kSeparator);
  return at == std::string_view::npos ? std::string_view{} : name.substr(at + kSeparator.size());
}

}  // namespace

ResourceKind ParseResource(std::string_view name, SocketResource& out) {
  std::string_view resourceClass = LastClass(name);
  bool isSocket = SameLetters(resourceClass, kSocket);
  bool isTcpip = name.size() >= kTcpip.size() && SameLetters(name.substr(0, kTcpip.size()), kTcpip);
  if (!isSocket || !isTcpip) {
    bool known = std::any_of(kOtherClasses.begin(), kOtherClasses.end(),
                             [&](std::string_view c) { return SameLetters(resourceClass, c); });
    return known ? ResourceKind::OtherClass : ResourceKind::Malformed;
  }
  // TCPIP[board] :: host :: port :: SOCKET; the host may itself hold "::" (IPv6).
  std::string_view rest =
      name.substr(kTcpip.size(), name.size() - kTcpip.size() - kSeparator.size() - kSocket.size());
  auto boardEnd = rest.find(kSeparator);
  auto portStart = rest.rfind(kSeparator);
  if (boardEnd == std::string_view::npos || portStart == boardEnd) return ResourceKind::Malformed;
  std::string_view board = rest.substr(0, boardEnd);
  std::string_view host =
      rest.substr(boardEnd + kSeparator.size(), portStart - boardEnd - kSeparator.size());
  std::string_view port = rest.substr(portStart + kSeparator.size());

  SocketResource parsed;
  std::uint32_t number = 0;
  if (!board.empty()) {
    if (!ParseNumber(board, 0xFFFF, number)) return ResourceKind::Malformed;
    parsed.board = number;
  }
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  if (host.empty() || host.find_first_of(" \t[]") != std::string_view::npos) {
    return ResourceKind::Malformed;
  }
  parsed.host = std::string(host);
  if (!ParseNumber(port, 65535, number) || number == 0) return ResourceKind::Malformed;
  parsed.port = static_cast<std::uint16_t>(number);
  out = std::move(parsed);
  return ResourceKind::Socket;
}

}  // namespace marlin
