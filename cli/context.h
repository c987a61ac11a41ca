// What one command works through: the operating system and the console.
#ifndef KORVEX_CLI_CONTEXT_H_
#define KORVEX_CLI_CONTEXT_H_

namespace korvex {

class Console;
class Env;

struct Context {
  Context(Env& e, Console& c) : env(e), console(c) {}
  Env& env;
  Console& console;
};

}  // namespace korvex

#endif  // KORVEX_CLI_CONTEXT_H_
