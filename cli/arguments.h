// The grammar every command shares: after the command word come options
// (arguments beginning with "/"), then names.  The first argument that is not
// an option ends the options; so does an argument that is exactly "--".
// Where paths use '/', an argument beginning with '/' whose text before any
// '=' holds a second '/' is a name (an absolute path), not an option.
#ifndef KORVEX_CLI_ARGUMENTS_H_
#define KORVEX_CLI_ARGUMENTS_H_

namespace korvex {

struct Context;

class Arguments {
 public:
  Arguments(int argc, char** argv) : argc_(argc), argv_(argv), next_(2) {}

  // The next option, or null once the options have ended.
  const char* NextOption();
  // Number of names after the options, and name k of them.
  int NameCount() const { return argc_ > next_ ? argc_ - next_ : 0; }
  char* Name(int k) const { return argv_[next_ + k]; }

 private:
  int argc_;
  char** argv_;
  int next_;
  bool ended_ = false;
};

// Writes "Unknown parameter: <arg>", puts the saved title back, returns 1.
int UnknownParameter(Context& ctx, const char* arg);
// Writes "Not all names specified.", puts the saved title back, returns 2.
int NotAllNames(Context& ctx);

}  // namespace korvex

#endif  // KORVEX_CLI_ARGUMENTS_H_
