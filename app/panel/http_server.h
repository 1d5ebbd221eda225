#pragma once
// The panel's HTTP/1.1 server. One thread (the gate) accepts connections and reads requests
// without blocking; only a request that arrived whole, within a deadline from its first byte,
// gets a thread of its own for its handler. A client that sends slowly or not at all therefore
// holds a socket, never a thread that another client needs.
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace marlin::panel {

struct HttpRequest {
  std::string method;
  std::string target;                 // as sent: "/api/devices/AMP1/state?x=1"
  std::vector<std::string> segments;  // the path's segments, each percent-decoded
  std::vector<std::pair<std::string, std::string>> query;    // decoded
  std::vector<std::pair<std::string, std::string>> headers;  // names in lower case
  std::string body;

  // The path as sent, without the query.
  std::string Path() const;
  std::optional<std::string> Header(std::string_view lowerName) const;
  std::optional<std::string> Param(std::string_view name) const;
};

struct HttpResponse {
  using Write = std::function<bool(std::string_view)>;

  int status = 200;
  std::string contentType = "application/json";
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  // Sent instead of `body` when set: one text many answers share, never copied per request.
  std::shared_ptr<const std::string> sharedBody;
  // A stream instead of a body: called again and again, each time with a writer that sends one
  // piece (false once the client is gone), until it returns false. The connection closes after.
  std::function<bool(const Write&)> stream;
  // Called once the stream has ended, however it ended.
  std::function<void()> streamEnded;
};

struct HttpLimits {
  std::chrono::milliseconds wholeRequest{2000};  // from a request's first byte to its last
  std::chrono::milliseconds idle{30000};         // a kept-alive connection without a request
  std::chrono::milliseconds write{5000};         // a response the client does not take
  std::size_t largestHead = std::size_t{8} * 1024;
  std::size_t largestBody = std::size_t{16} * 1024;
  std::size_t mostConnections = 1000;
  std::size_t mostHandlers = 256;  // requests being answered at once
};

// What the server answers itself (a malformed or slow request, a full server): the status and
// the message, made into a body by the caller's formatter.
using HttpRefusal = std::function<std::string(const std::string& message)>;

class HttpServer {
 public:
  using Handler = std::function<void(const HttpRequest&, HttpResponse&)>;

  HttpServer(Handler handler, HttpRefusal refusal, HttpLimits limits = {});
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Listens on `address` ("127.0.0.1", "::1", "0.0.0.0", ...) and `port` (0: a free one);
  // returns the port. Throws std::runtime_error naming the address when it cannot.
  int Bind(const std::string& address, int port);
  // Runs the gate on the calling thread until Stop; false when it could not run.
  bool Serve();
  // Closes the listener and every connection waiting for a request, and waits until every
  // handler has returned and its answer is written (or given up).
  void Stop();

 private:
  struct State;
  std::shared_ptr<State> state_;  // shared with the threads of the requests being answered
};

// "%41b" -> "Ab"; nullopt for a broken escape. `plusIsSpace` for a query's form encoding.
std::optional<std::string> PercentDecoded(std::string_view text, bool plusIsSpace);

}  // namespace marlin::panel
