#include <windows.h>

#include <initializer_list>

#include "platform/console.h"

namespace marlin::platform {
namespace {

// ENABLE_VIRTUAL_TERMINAL_PROCESSING, which headers for older Windows versions leave out.
constexpr DWORD kEscapeSequences = 0x0004;

HANDLE Handle(ConsoleStream stream) {
  switch (stream) {
    case ConsoleStream::Input:
      return GetStdHandle(STD_INPUT_HANDLE);
    case ConsoleStream::Output:
      return GetStdHandle(STD_OUTPUT_HANDLE);
    case ConsoleStream::Error:
      return GetStdHandle(STD_ERROR_HANDLE);
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace

struct RawConsoleInput::Saved {
  DWORD mode = 0;
  bool ok = false;
};

// A console handle answers GetConsoleMode; a pipe or a file does not.
bool IsConsole(ConsoleStream stream) {
  DWORD mode = 0;
  return GetConsoleMode(Handle(stream), &mode) != 0;
}

void PrepareConsole() {
  SetConsoleOutputCP(CP_UTF8);
  for (ConsoleStream stream : {ConsoleStream::Output, ConsoleStream::Error}) {
    DWORD mode = 0;
    const HANDLE handle = Handle(stream);
    if (GetConsoleMode(handle, &mode) != 0) {
      SetConsoleMode(handle, mode | ENABLE_PROCESSED_OUTPUT | kEscapeSequences);
    }
  }
}

// The console edits the line and keeps its history (arrow keys, F7) before the shell reads it.
bool ShellEditsLines() { return false; }

RawConsoleInput::RawConsoleInput() : saved_(new Saved) {
  const HANDLE input = Handle(ConsoleStream::Input);
  saved_->ok = GetConsoleMode(input, &saved_->mode) != 0;
  if (saved_->ok) {
    SetConsoleMode(input, saved_->mode & ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT |
                                                             ENABLE_PROCESSED_INPUT));
  }
}

RawConsoleInput::~RawConsoleInput() {
  if (saved_->ok) SetConsoleMode(Handle(ConsoleStream::Input), saved_->mode);
  delete saved_;
}

bool RawConsoleInput::ReadByte(char& byte) {
  DWORD got = 0;
  return ReadFile(Handle(ConsoleStream::Input), &byte, 1, &got, nullptr) != 0 && got == 1;
}

}  // namespace marlin::platform
