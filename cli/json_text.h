// JSON string literals for bytes that may not be UTF-8.  Valid UTF-8 passes
// through; every other byte b (0x80..0xFF) is written as the escape \uDCxx of
// the lone surrogate U+DC00 + b, the rule Python calls "surrogateescape", so
// the bytes come back exactly.  Quotes, backslashes and control bytes are
// escaped.
#ifndef KORVEX_CLI_JSON_TEXT_H_
#define KORVEX_CLI_JSON_TEXT_H_

#include <stddef.h>

#include <string>

namespace korvex {

void AppendJsonString(std::string* out, const char* text, size_t length);

}  // namespace korvex

#endif  // KORVEX_CLI_JSON_TEXT_H_
