// The console the commands write to: standard output, standard error and the
// window title.  Commands flush after every message; the real console detects
// a terminal once.
#ifndef KORVEX_PLATFORM_CONSOLE_H_
#define KORVEX_PLATFORM_CONSOLE_H_

#include <stddef.h>

#include <string>

namespace korvex {

enum class Stream { kOut, kErr };

class Console {
 public:
  virtual ~Console() = default;

  virtual void Write(Stream stream, const char* data, size_t n) = 0;
  virtual void Flush(Stream stream) = 0;

  // Remembers the current title so RestoreTitle can put it back.
  virtual void SaveTitle() = 0;
  virtual void SetTitle(const std::string& title) = 0;
  virtual void RestoreTitle() = 0;

  // Shows message and waits until the user acknowledges it.
  virtual void Acknowledge(const std::string& message) = 0;

  // True once any output was lost (a full disk, a closed pipe).
  virtual bool Failed() const = 0;

  // From now on an interrupt (SIGINT or SIGTERM; on Windows Ctrl+C, Ctrl+Break
  // or closing the window) ends the process at once: the saved title is put
  // back, the console line is ended, the file named by RemoveOnInterrupt is
  // deleted, and the exit code is 130 for SIGINT (Ctrl+C), 143 otherwise.
  // Recording consoles of tests ignore both calls.
  virtual void CatchInterrupts() {}
  // The file an interrupt deletes; empty for none.
  virtual void RemoveOnInterrupt(const std::string& path) { (void)path; }

  void Out(const std::string& text) { Write(Stream::kOut, text.data(), text.size()); }
  void Err(const std::string& text) { Write(Stream::kErr, text.data(), text.size()); }
  // Writes text to standard output and flushes it.
  void Say(const std::string& text) {
    Out(text);
    Flush(Stream::kOut);
  }

  // The process's own console.
  static Console* Default();
};

}  // namespace korvex

#endif  // KORVEX_PLATFORM_CONSOLE_H_
