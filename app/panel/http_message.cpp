#include "app/panel/http_message.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace marlin::panel {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr int kBadRequest = 400;
constexpr int kExpectationFailed = 417;
constexpr int kNotImplemented = 501;
constexpr int kVersionNotSupported = 505;

bool IsTokenChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 ||
         std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool IsToken(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), IsTokenChar);
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool HasToken(std::string_view list, std::string_view token) {
  const std::string lower = Lower(list);
  std::size_t at = 0;
  while (at <= lower.size()) {
    const std::size_t comma = std::min(lower.find(',', at), lower.size());
    if (Trimmed(std::string_view(lower).substr(at, comma - at)) == token) return true;
    at = comma + 1;
  }
  return false;
}

HeadRefusal Bad(std::string message) { return {kBadRequest, std::move(message)}; }

// "/a/b%2Fc?x=1" into its decoded segments and query; false for a broken escape.
bool SplitTarget(HttpRequest& request) {
  const std::string_view target = request.target;
  const std::size_t mark = target.find('?');
  std::string_view path = target.substr(0, mark);
  path.remove_prefix(1);
  while (!path.empty()) {
    const std::size_t slash = path.find('/');
    const auto segment = PercentDecoded(path.substr(0, slash), false);
    if (!segment) return false;
    request.segments.push_back(*segment);
    if (slash == std::string_view::npos) break;
    path.remove_prefix(slash + 1);
    if (path.empty()) request.segments.emplace_back();
  }
  if (mark == std::string_view::npos) return true;
  std::string_view query = target.substr(mark + 1);
  while (!query.empty()) {
    const std::size_t amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    const std::size_t equals = pair.find('=');
    const auto key = PercentDecoded(pair.substr(0, equals), true);
    const auto value = PercentDecoded(
        equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1), true);
    if (!key || !value) return false;
    request.query.emplace_back(*key, *value);
    if (amp == std::string_view::npos) break;
    query.remove_prefix(amp + 1);
  }
  return true;
}

std::variant<RequestHead, HeadRefusal> ParseRequestLine(std::string_view line) {
  RequestHead head;
  const std::size_t first = line.find(' ');
  const std::size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
  if (second == std::string_view::npos || line.find(' ', second + 1) != std::string_view::npos) {
    return Bad("the request line is not METHOD TARGET HTTP/1.1");
  }
  head.request.method = std::string(line.substr(0, first));
  head.request.target = std::string(line.substr(first + 1, second - first - 1));
  const std::string_view version = line.substr(second + 1);
  if (!IsToken(head.request.method)) return Bad("the request's method is not a word");
  if (head.request.target.empty() || head.request.target.front() != '/') {
    return Bad("the request's target does not begin with \"/\"");
  }
  if (version == "HTTP/1.0") {
    head.keepAlive = false;
  } else if (version != "HTTP/1.1") {
    return HeadRefusal{kVersionNotSupported, "only HTTP/1.1 and HTTP/1.0 are served"};
  }
  if (!SplitTarget(head.request)) return Bad("the request's target has a broken %-escape");
  return head;
}

}  // namespace

std::string HttpRequest::Path() const { return target.substr(0, target.find('?')); }

std::optional<std::string> HttpRequest::Header(std::string_view lowerName) const {
  for (const auto& [name, value] : headers) {
    if (name == lowerName) return value;
  }
  return std::nullopt;
}

std::optional<std::string> HttpRequest::Param(std::string_view name) const {
  for (const auto& [key, value] : query) {
    if (key == name) return value;
  }
  return std::nullopt;
}

std::optional<std::string> PercentDecoded(std::string_view text, bool plusIsSpace) {
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+' && plusIsSpace) {
      decoded += ' ';
    } else if (text[i] != '%') {
      decoded += text[i];
    } else {
      unsigned value = 0;
      if (i + 2 >= text.size()) return std::nullopt;
      const char* begin = text.data() + i + 1;
      const auto [end, error] = std::from_chars(begin, begin + 2, value, 16);
      if (error != std::errc() || end != begin + 2) return std::nullopt;
      decoded += static_cast<char>(value);
      i += 2;
    }
  }
  return decoded;
}

std::variant<RequestHead, HeadRefusal> ParseRequestHead(std::string_view text) {
  const std::size_t lineEnd = std::min(text.find(kLineEnd), text.size());
  auto parsed = ParseRequestLine(text.substr(0, lineEnd));
  if (auto* refusal = std::get_if<HeadRefusal>(&parsed)) return *refusal;
  RequestHead head = std::move(std::get<RequestHead>(parsed));
  std::optional<std::size_t> length;
  for (std::size_t at = lineEnd + kLineEnd.size(), number = 1; at < text.size(); ++number) {
    const std::size_t end = std::min(text.find(kLineEnd, at), text.size());
    if (end == at) break;  // the blank line that ends the head
    const std::string_view line = text.substr(at, end - at);
    at = end + kLineEnd.size();
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || !IsToken(line.substr(0, colon))) {
      return Bad("header line " + std::to_string(number) + " is not NAME: VALUE");
    }
    const std::string name = Lower(line.substr(0, colon));
    const std::string_view value = Trimmed(line.substr(colon + 1));
    if (name == "content-length") {
      std::size_t n = 0;
      const auto [stop, error] = std::from_chars(value.data(), value.data() + value.size(), n);
      if (value.empty() || error != std::errc() || stop != value.data() + value.size() ||
          (length && *length != n)) {
        return Bad("Content-Length is not one whole number of bytes");
      }
      length = n;
    } else if (name == "transfer-encoding") {
      return HeadRefusal{kNotImplemented,
                         "a body in chunks is not taken; send it with a Content-Length"};
    } else if (name == "connection") {
      if (HasToken(value, "close")) head.keepAlive = false;
    } else if (name == "expect") {
      if (Lower(value) != "100-continue") {
        return HeadRefusal{kExpectationFailed, "only \"Expect: 100-continue\" is understood"};
      }
      head.expectContinue = true;
    }
    head.request.headers.emplace_back(name, std::string(value));
  }
  head.contentLength = length.value_or(0);
  return head;
}

std::string_view ReasonPhrase(int status) {
  switch (status) {
    case 100:
      return "Continue";
    case 200:
      return "OK";
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 408:
      return "Request Timeout";
    case 409:
      return "Conflict";
    case 413:
      return "Content Too Large";
    case 417:
      return "Expectation Failed";
    case 431:
      return "Request Header Fields Too Large";
    case 500:
      return "Internal Server Error";
    case 501:
      return "Not Implemented";
    case 503:
      return "Service Unavailable";
    case 505:
      return "HTTP Version Not Supported";
    default:
      return "Unknown";
  }
}

std::string ResponseHead(const HttpResponse& response, std::optional<std::size_t> contentLength,
                         bool keepAlive) {
  std::string head = "HTTP/1.1 " + std::to_string(response.status) + " " +
                     std::string(ReasonPhrase(response.status)) + "\r\n";
  head += "Content-Type: " + response.contentType + "\r\n";
  head += contentLength ? "Content-Length: " + std::to_string(*contentLength) + "\r\n"
                        : std::string("Transfer-Encoding: chunked\r\n");
  for (const auto& [name, value] : response.headers) head += name + ": " + value + "\r\n";
  head += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
  return head;
}

}  // namespace marlin::panel
