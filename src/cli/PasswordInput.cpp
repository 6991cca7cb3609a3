//===- cli/PasswordInput.cpp - Reading a password -------------------------===//

#include "cli/PasswordInput.h"

#include "platform/SystemError.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>

namespace korvex::cli {

namespace {

void StripLineBreak(std::string& line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
}

// Reads up to a line break from `fd`, one byte at a time so that nothing
// after the line is consumed.
HRESULT ReadLine(int fd, std::string& line) {
  line.clear();
  for (;;) {
    char c = 0;
    const ssize_t n = ::read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return HResultFromLastErrno();
    if (n == 0) return line.empty() ? E_ABORT : S_OK;
    if (c == '\n') return S_OK;
    line.push_back(c);
  }
}

}  // namespace

HRESULT ReadPassword(bool fromStdin, std::string_view prompt, std::string& password) {
  if (fromStdin) {
    std::string line;
    if (!std::getline(std::cin, line)) return E_ABORT;
    StripLineBreak(line);
    password = std::move(line);
    return S_OK;
  }
  const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
  if (tty < 0) return HResultFromLastErrno();
  (void)!::write(tty, prompt.data(), prompt.size());
  termios saved{};
  const bool haveTermios = ::tcgetattr(tty, &saved) == 0;
  if (haveTermios) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    (void)::tcsetattr(tty, TCSAFLUSH, &quiet);
  }
  std::string line;
  const HRESULT hr = ReadLine(tty, line);
  if (haveTermios) (void)::tcsetattr(tty, TCSAFLUSH, &saved);
  ::close(tty);
  if (Failed(hr)) return hr;
  StripLineBreak(line);
  password = std::move(line);
  return S_OK;
}

}  // namespace korvex::cli
