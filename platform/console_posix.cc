#include <signal.h>
#include <stdio.h>
#include <unistd.h>

#include <string>

#include "platform/console.h"

namespace korvex {
namespace {

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
  }

  void Write(Stream stream, const char* data, size_t n) override {
    FILE* f = Target(stream);
    if (n > 0 && fwrite(data, 1, n, f) != n) failed_ = true;
  }

  void Flush(Stream stream) override {
    if (fflush(Target(stream)) != 0) failed_ = true;
  }

  void SaveTitle() override { Escape("\033[22;0t"); }
  void SetTitle(const std::string& title) override {
    Escape("\033]0;" + title + "\007");
  }
  void RestoreTitle() override { Escape("\033[23;0t"); }

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
