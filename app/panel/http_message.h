#pragma once
// HTTP/1.1 text: a request's head read strictly, a response's head written.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "app/panel/http_server.h"

namespace marlin::panel {

struct RequestHead {
  HttpRequest request;  // everything but the body
  std::size_t contentLength = 0;
  bool keepAlive = true;
  bool expectContinue = false;
};

// Why a request is not taken: the status to answer and what was wrong with it.
struct HeadRefusal {
  int status = 400;
  std::string message;
};

// `head`: from the request line to the blank line that ends the headers, both included.
std::variant<RequestHead, HeadRefusal> ParseRequestHead(std::string_view head);

// `contentLength` nullopt: the body follows in chunks.
std::string ResponseHead(const HttpResponse& response, std::optional<std::size_t> contentLength,
                         bool keepAlive);

std::string_view ReasonPhrase(int status);

}  // namespace marlin::panel
