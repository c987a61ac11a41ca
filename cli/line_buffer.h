// Output lines gathered and written in large pieces; the console is flushed
// where a message ends.
#ifndef KORVEX_CLI_LINE_BUFFER_H_
#define KORVEX_CLI_LINE_BUFFER_H_

#include <string>

#include "platform/console.h"

namespace korvex {

class LineBuffer {
 public:
  explicit LineBuffer(Console& console) : console_(console) { text_.reserve(kChunk + 4096); }
  ~LineBuffer() { Drain(); }

  std::string& text() { return text_; }
  void EndLine() {
    text_.push_back('\n');
    if (text_.size() >= kChunk) Drain();
  }
  void Drain() {
    console_.Write(Stream::kOut, text_.data(), text_.size());
    text_.clear();
  }

 private:
  static const size_t kChunk = 1 << 16;
  Console& console_;
  std::string text_;
};

}  // namespace korvex

#endif  // KORVEX_CLI_LINE_BUFFER_H_
