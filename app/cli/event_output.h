// Everything flashwright-cli tells its user or its calling script: lines of text on a
// terminal or in a pipe, a progress bar on a terminal, or one JSON object per event.
//
// Texts of the system join their lines with "\r\n"; they are written with "\n".
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>

#include "reader_update/download_engine.h"
#include "reader_update/outcome_text.h"

namespace flashwright::cli {

enum class OutputMode {
  Terminal,  // stdout is a terminal: progress as a bar redrawn in place
  Plain,     // one line per progress report
  Json,      // one JSON object per line on stdout, nothing else there
};

using JsonObject = nlohmann::ordered_json;

// One progress report of an update run or of a check.
struct ProgressReport {
  const char* pass = "verify";  // "verify" or "program"
  std::string status;           // the status line of the reader update view
  int position = 0;             // where the bar stands after the report, 0 to 100
  ProgressNote note;            // a reader update's note
  bool usb = false;             // a USB device's report: bytes done of total, finishing
  std::uint32_t done = 0;
  std::uint32_t total = 0;
  bool finishing = false;
};

class EventOutput {
 public:
  EventOutput(OutputMode mode, std::FILE* out, std::FILE* err);
  ~EventOutput();
  EventOutput(const EventOutput&) = delete;
  EventOutput& operator=(const EventOutput&) = delete;

  OutputMode mode() const { return mode_; }
  bool json() const { return mode_ == OutputMode::Json; }

  // -q: no progress, no information; the outcome, errors and warnings stay.
  void set_quiet(bool quiet) { quiet_ = quiet; }
  bool quiet() const { return quiet_; }

  // Looks at every failed outcome before it is written and may add a line to its text and
  // fields of its own (the system's reason of a port that could not be opened).
  using FailureAnnotator = std::function<void(std::string* text, JsonObject* fields)>;
  void set_failure_annotator(FailureAnnotator annotator) { annotator_ = std::move(annotator); }

  // A message of the system: a line on stdout, or a "message" event.
  void Message(ui::PaneKind kind, const std::string& text);
  // An event with fields of its own: `text` on stdout, or {"event": name, fields...}.
  void Event(const char* name, const JsonObject& fields, const std::string& text);
  // An event that tells how a run goes rather than what it found: as Event, but no line with -q.
  void Status(const char* name, const JsonObject& fields, const std::string& text);
  void Progress(const ProgressReport& report);
  // A line on stderr whatever the mode (warnings that must not mix with JSON on stdout).
  void Notice(const std::string& text);
  // The last word of a command. A success goes to stdout (in text mode), anything else to
  // stderr in every mode; in JSON mode an "outcome" event with the exit status and `fields`
  // follows. An empty text writes no line. Returns `exit_status`.
  int Outcome(int exit_status, ui::PaneKind kind, const std::string& text,
              const JsonObject& fields = JsonObject::object());
  // Asks a yes/no question on the terminal and reads the answer from stdin. False for
  // anything but y or yes, and at the end of the input.
  bool AskYesNo(const std::string& question);

 private:
  void EndBar();
  void WriteJson(const JsonObject& object);
  void WriteLine(std::FILE* stream, const std::string& text);

  OutputMode mode_;
  std::FILE* out_;
  std::FILE* err_;
  bool bar_open_ = false;
  bool quiet_ = false;
  FailureAnnotator annotator_;
  std::string last_progress_;  // the text of the last report shown, to drop repeats
};

// "\r\n" as "\n", for the console.
std::string ConsoleText(const std::string& text);
// "information", "error" or "success".
const char* KindName(ui::PaneKind kind);
// The bar line a terminal shows: "[####----]  40% <status>", cut to `columns` - 1 characters.
std::string RenderProgressBar(int position, const std::string& status, int columns);

}  // namespace flashwright::cli
