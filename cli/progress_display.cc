#include "cli/progress_display.h"

#include <stdio.h>

#include "korvex_version.h"
#include "platform/console.h"

namespace korvex {

const char kTitleSuffix[] = "... - KORVEX v" KORVEX_VERSION;

std::string StageTitle(const char* stage) { return std::string(stage) + kTitleSuffix; }

void Announce(Console& console, const char* command) {
  console.SetTitle(StageTitle(command));
  console.Say(std::string(" Cmd::") + command + "\n");
}

void ShowProgress(Console& console, int64_t percent, const char* verb) {
  char text[32];
  int n = snprintf(text, sizeof text, "\b\b\b\b%3lld%%", static_cast<long long>(percent));
  console.Write(Stream::kOut, text, static_cast<size_t>(n));
  console.Flush(Stream::kOut);
  console.SetTitle("{" + std::to_string(percent) + "%}" + StageTitle(verb));
}

int64_t Percentage(uint64_t count, uint64_t total) {
  return total == 0 ? 0 : static_cast<int64_t>(count * 100 / total);
}

void ConsoleProgress::Stage(const char* verb) {
  verb_ = verb;
  threshold_ = 0;
}

void ConsoleProgress::EntryScanned() {
  spinnerTick_ = (spinnerTick_ + 1) % 128;
  if (spinnerTick_ != 0) return;
  spinnerPhase_ = (spinnerPhase_ + 1) % 4;
  static const char kSpinner[] = "\\-/|";
  char text[2] = {'\b', kSpinner[spinnerPhase_]};
  console_.Write(Stream::kOut, text, 2);
  console_.Flush(Stream::kOut);
}

void ConsoleProgress::TemporaryFound() { console_.Acknowledge("Temporary File!!!"); }

void ConsoleProgress::BytesDone(uint64_t done, uint64_t total) {
  if (done < threshold_) return;
  threshold_ += total / 100;
  ShowProgress(console_, Percentage(done, total), verb_);
}

void ConsoleProgress::ReadError(const std::string& path) {
  console_.Err("\nFile read error: " + path + "\nContinue...xxx%");
  console_.Flush(Stream::kErr);
}

void ConsoleProgress::ListError(const std::string& path) {
  console_.Err("\nDirectory read error: " + path + "\nContinue...x");
  console_.Flush(Stream::kErr);
}

}  // namespace korvex
