// The program's entry and its commands.  Each takes the whole argument
// vector (it reads from the third argument on) and returns the exit code.
#ifndef KORVEX_CLI_KORVEX_H_
#define KORVEX_CLI_KORVEX_H_

namespace korvex {

struct Context;

// Saves and sets the title, writes the banner and dispatches on the command
// word.
int RunKorvex(Context& ctx, int argc, char** argv);

int RunCreate(Context& ctx, int argc, char** argv);
int RunList(Context& ctx, int argc, char** argv);
int RunExtract(Context& ctx, int argc, char** argv);
int RunSearch(Context& ctx, int argc, char** argv);
int RunVerify(Context& ctx, int argc, char** argv);
int RunCompare(Context& ctx, int argc, char** argv);
int RunUpdate(Context& ctx, int argc, char** argv);

}  // namespace korvex

#endif  // KORVEX_CLI_KORVEX_H_
