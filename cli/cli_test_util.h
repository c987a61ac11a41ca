// Runs the whole program in-process with a recording console.
#ifndef KORVEX_CLI_CLI_TEST_UTIL_H_
#define KORVEX_CLI_CLI_TEST_UTIL_H_

#include <string>
#include <vector>

#include "cli/context.h"
#include "cli/korvex.h"
#include "tests/testutil.h"

namespace korvex {
namespace test {

struct RunResult {
  int code;
  std::string out;
  std::string err;
  std::vector<std::string> titles;
};

inline RunResult RunWith(Env& env, std::vector<std::string> args) {
  CaptureConsole console;
  Context ctx(env, console);
  args.insert(args.begin(), "korvex");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  int code = RunKorvex(ctx, static_cast<int>(args.size()), argv.data());
  return RunResult{code, console.out, console.err, console.titles};
}

// The system's text for a reason, where the tests know it; elsewhere the
// empty text, which every reason begins with.
inline std::string SystemText(const char* posixText) {
  return kPathSeparator == '/' ? posixText : "";
}

inline RunResult RunArgs(std::vector<std::string> args) {
  return RunWith(*Env::Default(), std::move(args));
}

}  // namespace test
}  // namespace korvex

#endif  // KORVEX_CLI_CLI_TEST_UTIL_H_
