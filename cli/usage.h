// The texts that describe the program itself: the banner, the short usage
// shown without a command word, the full --help and the --version lines.
#ifndef KORVEX_CLI_USAGE_H_
#define KORVEX_CLI_USAGE_H_

namespace korvex {

extern const char kBanner[];
extern const char kUsage[];
extern const char kHelp[];
extern const char kVersion[];

}  // namespace korvex

#endif  // KORVEX_CLI_USAGE_H_
