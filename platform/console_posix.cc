#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "platform/console.h"

namespace korvex {
namespace {

// What the interrupt handler needs, kept where a signal handler may read it:
// plain bytes and flags, written before the handler can see them.
struct InterruptState {
  int titleFd = -1;
  volatile sig_atomic_t titleSaved = 0;
  volatile sig_atomic_t atLineStart = 1;
  volatile sig_atomic_t removeSet = 0;
  char removePath[4096];
};
InterruptState interrupt;

const char kPopTitle[] = "\033[23;0t";

// Only async-signal-safe calls: write, unlink, _exit.
extern "C" void OnInterrupt(int signo) {
  if (interrupt.titleSaved && interrupt.titleFd >= 0) {
    ssize_t ignored = ::write(interrupt.titleFd, kPopTitle, sizeof kPopTitle - 1);
    (void)ignored;
  }
  if (!interrupt.atLineStart) {
    ssize_t ignored = ::write(1, "\n", 1);
    (void)ignored;
  }
  if (interrupt.removeSet) ::unlink(interrupt.removePath);
  ::_exit(128 + signo);
}

// Standard output and error through stdio; the title as xterm escapes, only
// ever written to a terminal, so redirected output stays clean.  The saved
// title is the terminal's title stack.
class PosixConsole : public Console {
 public:
  PosixConsole() {
    // A closed pipe is lost output to report, not a reason to die silently.
    signal(SIGPIPE, SIG_IGN);
    setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
    titleFd_ = isatty(1) ? 1 : (isatty(2) ? 2 : -1);
    interrupt.titleFd = titleFd_;
  }

  void Write(Stream stream, const char* data, size_t n) override {
    FILE* f = Target(stream);
    if (n > 0 && fwrite(data, 1, n, f) != n) failed_ = true;
    if (n > 0) interrupt.atLineStart = data[n - 1] == '\n';
  }

  void CatchInterrupts() override {
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    for (int signo : {SIGINT, SIGTERM}) {
      // A signal ignored by whoever started us (nohup, a background job)
      // stays ignored.
      struct sigaction old;
      if (sigaction(signo, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
      sigaction(signo, &action, nullptr);
    }
  }

  void RemoveOnInterrupt(const std::string& path) override {
    interrupt.removeSet = 0;
    if (path.empty() || path.size() >= sizeof interrupt.removePath) return;
    memcpy(interrupt.removePath, path.c_str(), path.size() + 1);
    interrupt.removeSet = 1;
  }

  void Flush(Stream stream) override {
    if (fflush(Target(stream)) != 0) failed_ = true;
  }

  void SaveTitle() override {
    Escape("\033[22;0t");
    interrupt.titleSaved = 1;
  }
  void SetTitle(const std::string& title) override {
    Escape("\033]0;" + title + "\007");
  }
  void RestoreTitle() override {
    interrupt.titleSaved = 0;
    Escape(kPopTitle);
  }

  void Acknowledge(const std::string& message) override {
    fputs((message + "\n").c_str(), stderr);
    fflush(stderr);
    // Wait for Enter where a person can press it; otherwise go on.
    if (FILE* tty = fopen("/dev/tty", "r")) {
      int c;
      while ((c = fgetc(tty)) != EOF && c != '\n') {
      }
      fclose(tty);
    }
  }

  bool Failed() const override { return failed_ || ferror(stdout) || ferror(stderr); }

 private:
  static FILE* Target(Stream stream) { return stream == Stream::kOut ? stdout : stderr; }

  void Escape(const std::string& sequence) {
    if (titleFd_ < 0) return;
    fflush(stdout);
    fflush(stderr);
    ssize_t ignored = ::write(titleFd_, sequence.data(), sequence.size());
    (void)ignored;
  }

  int titleFd_;
  bool failed_ = false;
};

}  // namespace

Console* Console::Default() {
  static PosixConsole console;
  return &console;
}

}  // namespace korvex
