#include "app/cli/event_output.h"

#include <algorithm>
#include <iostream>

#include "platform/console.h"
#include "platform/text_case.h"

namespace flashwright::cli {
namespace {

constexpr int kBarCells = 30;
constexpr int kDefaultColumns = 80;

int TerminalColumns(std::FILE* stream) {
  const int columns = platform::TerminalColumns(stream);
  return columns > 0 ? columns : kDefaultColumns;
}

}  // namespace

std::string ConsoleText(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    result += text[i];
  }
  return result;
}

const char* KindName(ui::PaneKind kind) {
  switch (kind) {
    case ui::PaneKind::kError: return "error";
    case ui::PaneKind::kSuccess: return "success";
    case ui::PaneKind::kNeutral: break;
  }
  return "information";
}

std::string RenderProgressBar(int position, const std::string& status, int columns) {
  const int clamped = std::clamp(position, 0, 100);
  const int filled = clamped * kBarCells / 100;
  std::string line = "[";
  line.append(static_cast<std::size_t>(filled), '#');
  line.append(static_cast<std::size_t>(kBarCells - filled), '-');
  char percent[8];
  std::snprintf(percent, sizeof percent, "] %3d%% ", clamped);
  line += percent;
  line += status;
  const std::size_t room = columns > 1 ? static_cast<std::size_t>(columns - 1) : 1;
  if (line.size() > room) line.resize(room);
  return line;
}

EventOutput::EventOutput(OutputMode mode, std::FILE* out, std::FILE* err)
    : mode_(mode), out_(out), err_(err) {}

EventOutput::~EventOutput() { EndBar(); }

void EventOutput::EndBar() {
  if (!bar_open_) return;
  std::fputc('\n', out_);
  std::fflush(out_);
  bar_open_ = false;
}

void EventOutput::WriteJson(const JsonObject& object) {
  // Replacement instead of an exception for text that is not UTF-8 (a firmware name, say).
  const std::string line = object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  std::fputs(line.c_str(), out_);
  std::fputc('\n', out_);
  std::fflush(out_);
}

void EventOutput::WriteLine(std::FILE* stream, const std::string& text) {
  EndBar();
  const std::string console = ConsoleText(text);
  std::fputs(console.c_str(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
}

void EventOutput::Message(ui::PaneKind kind, const std::string& text) {
  if (quiet_ && kind != ui::PaneKind::kError) return;
  if (json()) {
    JsonObject object;
    object["event"] = "message";
    object["kind"] = KindName(kind);
    object["text"] = ConsoleText(text);
    WriteJson(object);
    return;
  }
  WriteLine(kind == ui::PaneKind::kError ? err_ : out_, text);
}

void EventOutput::Event(const char* name, const JsonObject& fields, const std::string& text) {
  if (json()) {
    JsonObject object;
    object["event"] = name;
    for (const auto& [key, value] : fields.items()) object[key] = value;
    WriteJson(object);
    return;
  }
  if (!text.empty()) WriteLine(out_, text);
}

void EventOutput::Status(const char* name, const JsonObject& fields, const std::string& text) {
  Event(name, fields, quiet_ && !json() ? std::string() : text);
}

void EventOutput::Progress(const ProgressReport& report) {
  if (quiet_) return;
  if (mode_ != OutputMode::Json) {
    // The engine reports the start of a pass twice; a person needs to see it once.
    std::string shown = std::string(report.pass) + '\n' + report.status + '\n' +
                        std::to_string(report.position);
    if (shown == last_progress_) return;
    last_progress_ = std::move(shown);
  }
  switch (mode_) {
    case OutputMode::Json: {
      JsonObject object;
      object["event"] = "progress";
      object["pass"] = report.pass;
      object["status"] = report.status;
      object["position"] = report.position;
      if (report.usb) {
        object["done"] = report.done;
        object["total"] = report.total;
        object["finishing"] = report.finishing;
        WriteJson(object);
        return;
      }
      object["image"] = report.note.image_index;
      object["images"] = report.note.image_count;
      object["line"] = report.note.line;
      object["consumed"] = report.note.consumed;
      object["total"] = report.note.total;
      object["last"] = report.note.last != 0;
      WriteJson(object);
      return;
    }
    case OutputMode::Terminal: {
      const std::string bar = RenderProgressBar(report.position, report.status,
                                                TerminalColumns(out_));
      std::fputs("\r\x1b[K", out_);
      std::fputs(bar.c_str(), out_);
      std::fflush(out_);
      bar_open_ = true;
      return;
    }
    case OutputMode::Plain: {
      char percent[16];
      std::snprintf(percent, sizeof percent, " (%d%%)", report.position);
      WriteLine(out_, report.status + percent);
      return;
    }
  }
}

void EventOutput::Notice(const std::string& text) { WriteLine(err_, text); }

int EventOutput::Outcome(int exit_status, ui::PaneKind kind, const std::string& given_text,
                         const JsonObject& given_fields) {
  const bool success = exit_status == 0;
  std::string text = given_text;
  JsonObject fields = given_fields;
  if (!success && annotator_) annotator_(&text, &fields);
  if (text.empty()) {
    EndBar();
  } else if (!success) {
    WriteLine(err_, text);
  } else if (!json()) {
    WriteLine(out_, text);
  }
  if (json()) {
    JsonObject object;
    object["event"] = "outcome";
    object["status"] = exit_status;
    object["kind"] = KindName(kind);
    object["text"] = ConsoleText(text);
    for (const auto& [key, value] : fields.items()) object[key] = value;
    WriteJson(object);
  }
  return exit_status;
}

bool EventOutput::AskYesNo(const std::string& question) {
  EndBar();
  const std::string console = ConsoleText(question);
  std::fputs(console.c_str(), out_);
  std::fflush(out_);
  std::string answer;
  if (!std::getline(std::cin, answer)) {
    std::fputc('\n', out_);
    return false;
  }
  answer = LowerCase(answer);
  while (!answer.empty() && (answer.back() == ' ' || answer.back() == '\r')) answer.pop_back();
  return answer == "y" || answer == "yes";
}

}  // namespace flashwright::cli
