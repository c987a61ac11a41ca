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

class WindowsConsole;
// The console the control handler, which runs on a thread of its own, acts on.
WindowsConsole* interrupted = nullptr;
BOOL WINAPI OnControl(DWORD event);

// Standard output and error through stdio in text mode, so every line ends
// in "\r\n"; the title is the console window's.
class WindowsConsole : public Console {
 public:
  WindowsConsole() {
    setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
    InitializeCriticalSection(&lock_);
  }

  void Write(Stream stream, const char* data, size_t n) override {
    FILE* f = Target(stream);
    if (n > 0 && fwrite(data, 1, n, f) != n) failed_ = true;
    if (n > 0) atLineStart_ = data[n - 1] == '\n';
  }

  void CatchInterrupts() override {
    interrupted = this;
    SetConsoleCtrlHandler(OnControl, TRUE);
  }

  void RemoveOnInterrupt(const std::string& path) override {
    EnterCriticalSection(&lock_);
    removePath_ = path;
    LeaveCriticalSection(&lock_);
  }

  // Called on the handler's thread; the main thread goes on until the
  // process exits here.
  void Interrupt(DWORD event) {
    EnterCriticalSection(&lock_);
    if (saved_ && titlePending_) SetConsoleTitleA(title_.c_str());
    if (!atLineStart_) {
      DWORD written = 0;
      WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "\r\n", 2, &written, nullptr);
    }
    if (!removePath_.empty()) DeleteFileA(removePath_.c_str());
    ExitProcess(event == CTRL_C_EVENT ? 130 : 143);
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
    titlePending_ = true;
  }

  void SetTitle(const std::string& title) override { SetConsoleTitleA(title.c_str()); }

  void RestoreTitle() override {
    if (saved_) SetConsoleTitleA(title_.c_str());
    titlePending_ = false;
  }

  void Acknowledge(const std::string& message) override {
    MessageBoxA(nullptr, message.c_str(), "korvex", MB_OK);
  }

  bool Failed() const override { return failed_ || ferror(stdout) || ferror(stderr); }

 private:
  static FILE* Target(Stream stream) { return stream == Stream::kOut ? stdout : stderr; }

  std::string title_;
  bool saved_ = false;
  volatile bool titlePending_ = false;  // saved and not yet put back
  volatile bool atLineStart_ = true;
  bool failed_ = false;
  CRITICAL_SECTION lock_;
  std::string removePath_;
};

BOOL WINAPI OnControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
    return FALSE;
  }
  interrupted->Interrupt(event);
  return TRUE;
}

}  // namespace

Console* Console::Default() {
  static WindowsConsole console;
  return &console;
}

}  // namespace korvex
