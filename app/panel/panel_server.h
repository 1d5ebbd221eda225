#pragma once
// The panel's HTTP server: the page, the JSON API and the event stream. Every /api request
// carries the run's token; requests whose Host or Origin is not the panel's own are refused, so
// a page of another site cannot reach the panel through the browser (DNS rebinding included).
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "app/panel/device_worker.h"
#include "app/panel/event_hub.h"
#include "app/panel/http_server.h"
#include "app/panel/trace_lines.h"

namespace marlin::panel {

inline constexpr std::size_t kLargestBody = std::size_t{16} * 1024;
inline constexpr const char* kTokenHeader = "X-Marlin-Token";

class PanelServer {
 public:
  PanelServer(std::vector<std::unique_ptr<DeviceWorker>>& devices, EventHub& events,
              const TraceLines& trace, std::string token, HttpLimits limits = {});
  ~PanelServer();
  PanelServer(const PanelServer&) = delete;
  PanelServer& operator=(const PanelServer&) = delete;

  // Returns the port; throws std::runtime_error when the address cannot be bound.
  int Bind(const std::string& address, int port);
  // Serves until Stop; returns false when serving failed.
  bool Serve();
  // From now on actions are refused (503); the page, the list and All RF off still answer.
  void RefuseActions();
  // Ends every event stream and waits for the answers being written.
  void Stop();

 private:
  void Handle(const HttpRequest& request, HttpResponse& response);
  bool Admitted(const HttpRequest& request, HttpResponse& response) const;
  void Get(const HttpRequest& request, HttpResponse& response);
  void Post(const HttpRequest& request, HttpResponse& response);
  void DeviceAction(DeviceWorker& device, const std::string& word, const HttpRequest& request,
                    HttpResponse& response);
  void AllRfOff(HttpResponse& response);
  void Events(HttpResponse& response);
  DeviceWorker* Find(const std::string& name) const;

  std::vector<std::unique_ptr<DeviceWorker>>& devices_;
  EventHub& events_;
  const TraceLines& trace_;
  std::string token_;
  std::vector<std::string> ownHosts_;  // "127.0.0.1:PORT", ...
  std::atomic<bool> refusingActions_{false};
  HttpServer http_;
};

// A random token from the system's random source, hex, 128 bits.
std::string NewToken();
// Compares in a time that does not depend on where the texts differ.
bool SameSecret(const std::string& given, const std::string& expected);

}  // namespace marlin::panel
