#pragma once
// A marlinctl panel process on loopback in front of a simulated amplifier, a client that carries
// the run's token, and event streams read as a page reads them.
#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/app/e2e_fixture.h"

namespace marlin::testing {

// One server-sent event.
struct PanelEvent {
  std::string type;
  nlohmann::json data;
};

class PanelProcess {
 public:
  // `deviceList`: the file's text. Further options after the usual ones.
  PanelProcess(const TempFolder& folder, const std::string& deviceList,
               const std::vector<std::string>& options = {});
  ~PanelProcess();

  int Port() const { return port_; }
  const std::string& Token() const { return token_; }
  const std::string& Url() const { return url_; }
  // A client that sends the token; `withToken` false sends none.
  std::unique_ptr<httplib::Client> Client(bool withToken = true) const;
  // Ends the panel with `signal` (0: waits for it to end by itself); the exit status.
  int End(int signal);
  void Signal(int signal) { process_.Signal(signal); }
  // The panel's next line on stdout after the address.
  std::optional<std::string> ReadLine() { return process_.ReadLine(std::chrono::seconds(20)); }
  const ChildProcess& Process() const { return process_; }

 private:
  ChildProcess process_;
  int port_ = 0;
  std::string token_, url_;
  std::optional<int> ended_;
};

// GET /api/devices, parsed; fails the test for another answer.
nlohmann::json Devices(httplib::Client& client);
nlohmann::json Device(httplib::Client& client, const std::string& name);
// POST /api/devices/NAME/ACTION; the status and the parsed body.
struct Answer {
  int status = 0;
  nlohmann::json body;
};
Answer Post(httplib::Client& client, const std::string& name, const std::string& action,
            const std::string& body = "");

// A connection of its own, for requests no HTTP client sends: malformed, slow, unfinished.
class RawConnection {
 public:
  explicit RawConnection(int port);
  ~RawConnection();
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  // False once the panel has closed the connection.
  bool Send(const std::string& bytes);
  // What the panel sends until it closes the connection, or within `wait`.
  std::string Answer(std::chrono::milliseconds wait);
  // Nothing came back yet, not even the connection's end.
  bool Waiting() const;

 private:
  int fd_ = -1;
};

class EventStream {
 public:
  EventStream(const PanelProcess& panel);
  ~EventStream();

  // Waits (at most 30 s) until an event satisfies `match`; false after that.
  bool WaitFor(const std::function<bool(const PanelEvent&)>& match);
  std::vector<PanelEvent> Events() const;

 private:
  void Parse();

  std::unique_ptr<httplib::Client> client_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::string pending_;
  std::vector<PanelEvent> events_;
  bool leaving_ = false;
  std::thread reader_;
};

}  // namespace marlin::testing
