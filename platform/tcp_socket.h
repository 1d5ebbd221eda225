#pragma once
// A connected TCP client socket whose every wait ends at a deadline. One thin layer over POSIX
// sockets and Winsock, shared by the LAN service and the built-in VISA layer.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace marlin::net {

using Deadline = std::chrono::steady_clock::time_point;

inline Deadline DeadlineAfter(std::chrono::nanoseconds span) {
  return std::chrono::steady_clock::now() + span;
}

enum class IoResult { Done, TimedOut, PeerClosed, Failed };

class TcpSocket {
 public:
  TcpSocket() = default;
  ~TcpSocket();
  TcpSocket(TcpSocket&& other) noexcept;
  TcpSocket& operator=(TcpSocket&& other) noexcept;
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;

  // Tries each address of `host` until one accepts or the deadline passes. The socket comes
  // back with TCP_NODELAY set; on failure it is closed and `error` says why.
  static TcpSocket Connect(const std::string& host, std::uint16_t port, Deadline deadline,
                           std::string& error);

  bool IsOpen() const;
  void Close();

  // Writes all of `data`: one send call unless the kernel takes less at once.
  IoResult Send(std::string_view data, Deadline deadline);
  // Waits until input arrives or the deadline passes, then takes at most `capacity` bytes of
  // what is there. A peer that hangs up ends the wait at once.
  IoResult Receive(char* into, std::size_t capacity, std::size_t& received, Deadline deadline);
  // Drops whatever input has already arrived, without waiting.
  IoResult DiscardPending();
  // True when input is waiting to be read now.
  bool InputPending();
  // False once the peer has hung up or the connection failed.
  bool PeerConnected();
  // One look without waiting: is the peer still there, and is input waiting to be read?
  struct PeerState {
    bool connected = false;
    bool inputPending = false;
  };
  PeerState Probe();

 private:
  explicit TcpSocket(std::intptr_t handle) : handle_(handle) {}
  // Readable (or hung up) before the deadline?
  IoResult WaitReadable(Deadline deadline);
  // Takes what has arrived without waiting; TimedOut when nothing has.
  IoResult ReceiveNow(char* into, std::size_t capacity, std::size_t& received);

  static constexpr std::intptr_t kNone = -1;
  std::intptr_t handle_ = kNone;
};

// The operating system's text for its last socket error.
std::string LastSocketErrorText();

}  // namespace marlin::net
