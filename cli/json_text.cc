#include "cli/json_text.h"

#include <stdio.h>

namespace korvex {
namespace {

// Length of the well-formed UTF-8 sequence at p (at most n bytes left), or 0:
// no overlong forms, no surrogates, nothing above U+10FFFF.
size_t Utf8Length(const unsigned char* p, size_t n) {
  const unsigned char c = p[0];
  size_t length;
  unsigned char lo = 0x80;
  unsigned char hi = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (n < length || p[1] < lo || p[1] > hi) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (p[i] < 0x80 || p[i] > 0xBF) return 0;
  }
  return length;
}

void AppendEscape(std::string* out, unsigned code) {
  char text[8];
  snprintf(text, sizeof text, "\\u%04x", code);
  *out += text;
}

}  // namespace

void AppendJsonString(std::string* out, const char* text, size_t length) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  *out += '"';
  for (size_t i = 0; i < length;) {
    const unsigned char c = p[i];
    if (c == '"' || c == '\\') {
      *out += '\\';
      *out += static_cast<char>(c);
      ++i;
    } else if (c < 0x20) {
      AppendEscape(out, c);
      ++i;
    } else if (c < 0x80) {
      *out += static_cast<char>(c);
      ++i;
    } else if (size_t n = Utf8Length(p + i, length - i)) {
      out->append(text + i, n);
      i += n;
    } else {
      AppendEscape(out, 0xDC00u + c);
      ++i;
    }
  }
  *out += '"';
}

}  // namespace korvex
