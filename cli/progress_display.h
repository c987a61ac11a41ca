// The progress displays: a percentage on the console line and in the title,
// and the scan's spinner.
#ifndef KORVEX_CLI_PROGRESS_DISPLAY_H_
#define KORVEX_CLI_PROGRESS_DISPLAY_H_

#include <stdint.h>

#include <string>

#include "catalog/progress.h"

namespace korvex {

class Console;

extern const char kTitleSuffix[];  // "... - KORVEX v3.0m"

// The title of a stage, for example "Scan" gives "Scan... - KORVEX v3.0m".
std::string StageTitle(const char* stage);

// A command's start: its stage title and the line " Cmd::<command>".
void Announce(Console& console, const char* command);

// Writes four backspaces, the percentage right-aligned in three columns and
// "%", flushes, and sets the title "{<percent>%}<verb>... - KORVEX v3.0m".
void ShowProgress(Console& console, int64_t percent, const char* verb);

// count * 100 / total in 64 bits; 0 when total is 0.
int64_t Percentage(uint64_t count, uint64_t total);

// Shows the engine's reports: a spinner turn every 128 files, the
// percentage of the current stage each time another hundredth is done,
// read and list errors on standard error, and the temporary-file prompt.
class ConsoleProgress : public ProgressObserver {
 public:
  explicit ConsoleProgress(Console& console) : console_(console) {}

  // Starts the percentage display of a stage named by its verb.
  void Stage(const char* verb);

  void EntryScanned() override;
  void TemporaryFound() override;
  void BytesDone(uint64_t done, uint64_t total) override;
  void ReadError(const std::string& path) override;
  void ListError(const std::string& path) override;

 private:
  Console& console_;
  const char* verb_ = "";
  uint64_t threshold_ = 0;
  int spinnerTick_ = 0;
  int spinnerPhase_ = 0;
};

}  // namespace korvex

#endif  // KORVEX_CLI_PROGRESS_DISPLAY_H_
