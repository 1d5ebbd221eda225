#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "platform/console.h"

namespace marlin::platform {

struct RawConsoleInput::Saved {
  bool ok = false;
  termios mode{};
};

bool IsConsole(ConsoleStream stream) {
  switch (stream) {
    case ConsoleStream::Input:
      return isatty(STDIN_FILENO) != 0;
    case ConsoleStream::Output:
      return isatty(STDOUT_FILENO) != 0;
    case ConsoleStream::Error:
      return isatty(STDERR_FILENO) != 0;
  }
  return false;
}

void PrepareConsole() {}

bool ShellEditsLines() { return true; }

RawConsoleInput::RawConsoleInput() : saved_(new Saved) {
  saved_->ok = tcgetattr(STDIN_FILENO, &saved_->mode) == 0;
  if (!saved_->ok) return;
  termios raw = saved_->mode;
  raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO | ISIG | IEXTEN));
  raw.c_iflag &= static_cast<tcflag_t>(~(IXON | ICRNL));
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  tcsetattr(STDIN_FILENO, TCSANOW, &raw);
}

RawConsoleInput::~RawConsoleInput() {
  if (saved_->ok) tcsetattr(STDIN_FILENO, TCSANOW, &saved_->mode);
  delete saved_;
}

bool RawConsoleInput::ReadByte(char& byte) {
  ssize_t got = 0;
  do {
    got = read(STDIN_FILENO, &byte, 1);
  } while (got < 0 && errno == EINTR);
  return got == 1;
}

}  // namespace marlin::platform
