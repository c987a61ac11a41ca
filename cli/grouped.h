#ifndef KORVEX_CLI_GROUPED_H_
#define KORVEX_CLI_GROUPED_H_

#include <stdint.h>

#include <string>

namespace korvex {

// Decimal digits with an apostrophe before every group of three from the
// right: 1234567 gives 1'234'567.  Zero and negative values give "0".
std::string FormatGrouped(int64_t value);

}  // namespace korvex

#endif  // KORVEX_CLI_GROUPED_H_
