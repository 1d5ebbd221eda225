#pragma once
// The console a command-line program talks to: whether a stream is one, its preparation for
// colours and UTF-8, and byte-wise input for a shell that edits its lines itself.
namespace marlin::platform {

enum class ConsoleStream { Input, Output, Error };

bool IsConsole(ConsoleStream stream);

// Lets the console draw escape sequences (colours, the live wait line) and UTF-8 text; does
// nothing where the terminal does so already.
void PrepareConsole();

// Whether a shell reads the console byte by byte and edits the line itself. Where it does not,
// the console's own line editing and history serve, and lines are read as they come.
bool ShellEditsLines();

// Console input one byte at a time, without echo or the console's line editing, for as long as
// it lives; the console is restored on every path out.
class RawConsoleInput {
 public:
  RawConsoleInput();
  ~RawConsoleInput();
  RawConsoleInput(const RawConsoleInput&) = delete;
  RawConsoleInput& operator=(const RawConsoleInput&) = delete;

  // False at the end of input or on a read error.
  bool ReadByte(char& byte);

 private:
  struct Saved;
  Saved* saved_;
};

}  // namespace marlin::platform
