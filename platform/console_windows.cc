#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stdio.h>

#include <string>

#include "platform/console.h"

namespace korvex {
namespace {

// Standard output and error through stdio in text mode, so every line ends
// in "\r\n"; the title is the console window's.
class WindowsConsole : public Console {
 public:
  WindowsConsole() { setvbuf(stdout, nullptr, _IOFBF, 1 << 16); }

  void Write(Stream stream, const char* data, size_t n) override {
    FILE* f = Target(stream);
    if (n > 0 && fwrite(data, 1, n, f) != n) failed_ = true;
  }

  void Flush(Stream stream) override {
    if (fflush(Target(stream)) != 0) failed_ = true;
  }

  void SaveTitle() override {
    char buffer[1024] = "";
    // Without a console window there is nothing to put back.
    saved_ = GetConsoleTitleA(buffer, sizeof buffer) > 0;
    buffer[sizeof buffer - 1] = '\0';
    title_ = buffer;
  }

  void SetTitle(const std::string& title) override { SetConsoleTitleA(title.c_str()); }

  void RestoreTitle() override {
    if (saved_) SetConsoleTitleA(title_.c_str());
  }

  void Acknowledge(const std::string& message) override {
    MessageBoxA(nullptr, message.c_str(), "korvex", MB_OK);
  }

  bool Failed() const override { return failed_ || ferror(stdout) || ferror(stderr); }

 private:
  static FILE* Target(Stream stream) { return stream == Stream::kOut ? stdout : stderr; }

  std::string title_;
  bool saved_ = false;
  bool failed_ = false;
};

}  // namespace

Console* Console::Default() {
  static WindowsConsole console;
  return &console;
}

}  // namespace korvex
