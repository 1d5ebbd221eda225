#pragma once
// The non-blocking socket calls of a small TCP server (the panel's): listen, accept, send and
// receive what goes at once, wait on several sockets, and a wake-up for the waiting thread.
// One header; POSIX sockets and Winsock each implement it in a file of their own.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace marlin::net {

using SocketId = std::intptr_t;
inline constexpr SocketId kNoSocket = -1;

// A non-blocking listening socket on a numeric address; `port` 0 takes a free one, which
// `boundPort` tells. Throws std::runtime_error whose text begins with `where`.
SocketId Listen(const std::string& address, int port, int backlog, int& boundPort,
                const std::string& where);

enum class AcceptOutcome { Accepted, NoneWaiting, TryAgain, OutOfResources };
// Takes one waiting connection, non-blocking and with TCP_NODELAY.
AcceptOutcome AcceptOne(SocketId listener, SocketId& accepted);

void CloseSocket(SocketId socket);
// No more sending; what the peer sends can still be read.
void ShutdownSending(SocketId socket);

// What a non-blocking send or receive did: bytes moved (above 0), or why none.
enum class Moved : long { WouldBlock = -1, Failed = -2, PeerClosed = 0 };
long SendNow(SocketId socket, const char* data, std::size_t size);
long ReceiveNow(SocketId socket, char* into, std::size_t capacity);

struct PolledSocket {
  SocketId socket = kNoSocket;
  bool forReading = false;
  bool forWriting = false;
  bool ready = false;  // readable, writable, hung up or failed, as asked
};
// Waits up to `timeoutMs` for any socket to be ready; false when waiting itself fails.
bool PollSockets(std::vector<PolledSocket>& sockets, int timeoutMs);

// The peer hung up or the connection failed (checked without waiting).
bool PeerGone(SocketId socket);

// Wakes a thread that waits in PollSockets: its reading end is one more socket to poll.
class WakeUp {
 public:
  WakeUp();  // throws std::runtime_error
  ~WakeUp();
  WakeUp(const WakeUp&) = delete;
  WakeUp& operator=(const WakeUp&) = delete;

  SocketId ReadingEnd() const { return ends_[0]; }
  void Wake() const;
  void Drain() const;

 private:
  SocketId ends_[2] = {kNoSocket, kNoSocket};
};

}  // namespace marlin::net
