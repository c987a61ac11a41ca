// Runs one command and prints what it cost: "wall cpu maxrss exit", with
// wall and CPU time (user + system) in seconds and the peak resident set in
// KiB, as wait4 reports them for the child.
//
//   korvex_timed [-o FILE] -- COMMAND [ARG...]
//
// Standard output of the command goes to FILE (default /dev/null); its
// standard error goes to /dev/null.
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

double Seconds(const struct timeval& t) { return t.tv_sec + t.tv_usec / 1e6; }

double Now() {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  const char* out = "/dev/null";
  int i = 1;
  for (; i < argc && strcmp(argv[i], "--") != 0; ++i) {
    if (strcmp(argv[i], "-o") == 0 && i + 1 < argc) {
      out = argv[++i];
    } else {
      fprintf(stderr, "usage: korvex_timed [-o FILE] -- COMMAND [ARG...]\n");
      return 2;
    }
  }
  if (i + 1 >= argc) {
    fprintf(stderr, "usage: korvex_timed [-o FILE] -- COMMAND [ARG...]\n");
    return 2;
  }
  char** command = argv + i + 1;
  int outFd = open(out, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  int nullFd = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (outFd < 0 || nullFd < 0) {
    perror("korvex_timed: open");
    return 2;
  }
  double start = Now();
  pid_t child = fork();
  if (child < 0) {
    perror("korvex_timed: fork");
    return 2;
  }
  if (child == 0) {
    dup2(outFd, 1);
    dup2(nullFd, 2);
    execvp(command[0], command);
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  if (wait4(child, &status, 0, &usage) != child) {
    perror("korvex_timed: wait4");
    return 2;
  }
  double wall = Now() - start;
  int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  printf("%.6f %.6f %ld %d\n", wall, Seconds(usage.ru_utime) + Seconds(usage.ru_stime),
         usage.ru_maxrss, code);
  return 0;
}
