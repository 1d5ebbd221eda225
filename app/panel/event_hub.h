#pragma once
// Server-sent events for every open page: each subscriber has its own queue, so a slow tab
// never holds up the devices or another tab. A queue that overflows drops its oldest events
// and the page reloads the device list when it sees the gap.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace marlin::panel {

class EventHub {
 public:
  class Subscription {
   public:
    // The next event as an SSE block ("event: ...\ndata: ...\n\n"); nullopt when nothing came
    // within `wait` or the hub closed.
    std::optional<std::string> Next(std::chrono::milliseconds wait);
    bool Closed() const;

   private:
    friend class EventHub;
    EventHub* hub_ = nullptr;
    std::deque<std::string> queue_;
    bool lost_ = false;  // events were dropped since the last one taken
  };

  static constexpr std::size_t kMostSubscribers = 32;
  static constexpr std::size_t kMostQueued = 1000;

  // Null when kMostSubscribers are open already.
  std::shared_ptr<Subscription> Subscribe();
  void Unsubscribe(const std::shared_ptr<Subscription>& subscription);
  // `json` is one JSON value on one line.
  void Publish(const std::string& type, const std::string& json);
  // Ends every stream (the server is stopping).
  void Close();

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::shared_ptr<Subscription>> subscribers_;
  bool closed_ = false;
};

}  // namespace marlin::panel
