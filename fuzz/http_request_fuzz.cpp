// Any bytes as the head of a request to the panel, and as a percent-encoded path. The head is
// taken or refused with a 4xx or 5xx status and a message saying why; a taken request's method
// is a word, its target begins with "/", its path has one decoded segment per "/" and its header
// names are in lower case. Percent-encoding any bytes and decoding them gives them back.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "app/panel/http_message.h"

namespace {

using namespace marlin::panel;

void Require(bool holds) {
  if (!holds) __builtin_trap();
}

void CheckHead(std::string_view text) {
  const auto parsed = ParseRequestHead(text);
  if (const auto* refusal = std::get_if<HeadRefusal>(&parsed)) {
    Require(refusal->status >= 400 && refusal->status < 600);
    Require(!refusal->message.empty());
    Require(ReasonPhrase(refusal->status) != "Unknown");
    return;
  }
  const HttpRequest& request = std::get<RequestHead>(parsed).request;
  Require(!request.method.empty());
  Require(request.method.find_first_of(" \r\n") == std::string::npos);
  Require(!request.target.empty() && request.target.front() == '/');
  const std::string path = request.Path();
  const auto slashes = static_cast<std::size_t>(std::count(path.begin(), path.end(), '/'));
  Require(request.segments.size() == (path == "/" ? 0 : slashes));
  for (const auto& [name, value] : request.headers) {
    Require(std::none_of(name.begin(), name.end(),
                         [](char c) { return std::isupper(static_cast<unsigned char>(c)); }));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  // As the gate hands it over: up to the blank line; and as it comes, without one.
  const std::size_t end = text.find("\r\n\r\n");
  CheckHead(end == std::string_view::npos ? text : text.substr(0, end + 4));
  CheckHead(text);

  std::string encoded;
  for (const unsigned char c : text) {
    char escape[4];
    std::snprintf(escape, sizeof escape, "%%%02X", c);
    encoded += escape;
  }
  Require(PercentDecoded(encoded, false) == std::string(text));
  Require(PercentDecoded(encoded, true) == std::string(text));
  return 0;
}
