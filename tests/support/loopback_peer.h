#pragma once
// A scripted TCP peer on 127.0.0.1 for what the simulator cannot show: every byte it receives is
// kept as it arrived, and each received line (up to "\n") is answered as the script says.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace marlin::testing {

struct PeerReply {
  std::string bytes;    // sent at once (may be empty)
  bool hold = false;    // kept back until ReleaseHeld: a late answer
  bool hangUp = false;  // the connection is closed instead
};

class LoopbackPeer {
 public:
  using Script = std::function<PeerReply(const std::string& line)>;  // line with its "\n"
  explicit LoopbackPeer(Script script);
  ~LoopbackPeer();
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  std::uint16_t Port() const { return port_; }
  // Everything received so far, over all connections, in order.
  std::string Received() const;
  // Waits at most `limit` until `count` bytes have arrived.
  bool AwaitReceived(std::size_t count, std::chrono::milliseconds limit) const;
  // Sends the held replies now; returns how many there were.
  std::size_t ReleaseHeld();
  std::size_t Connections() const;
  // Waits at most `limit` until `opened` connections were accepted and every one is closed here
  // too. Counting the accepted ones keeps a backlog not yet accepted from passing for closed.
  bool AwaitAllClosed(std::size_t opened, std::chrono::milliseconds limit) const;

 private:
  struct Client {
    int fd;
    std::string partial;
  };
  void Serve();
  void Handle(Client& client, const char* data, std::size_t size);

  Script script_;
  int listener_ = -1;
  int wake_[2] = {-1, -1};
  std::uint16_t port_ = 0;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::string received_;
  std::vector<Client> clients_;
  std::vector<std::pair<int, std::string>> held_;
  std::size_t accepted_ = 0;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace marlin::testing
