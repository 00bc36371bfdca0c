#include "reader_update/run_progress_text.h"

#include "shell/string_table.h"
#include "reader_update/progress_position.h"
#include "reader_update/view_texts.h"

namespace flashwright {
namespace {

std::string ImagePrefix(const ProgressNote& note) {
  if (note.image_count <= 1) return {};
  return FormatText(texts::kImageCountPrefix, static_cast<int>(note.image_index),
                    static_cast<int>(note.image_count));
}

}  // namespace

std::string VerifyStatusText(const ProgressNote& note) {
  std::string text = FormatText(texts::kVerifyLine, ImagePrefix(note).c_str(),
                                static_cast<unsigned long>(note.line));
  if (note.last != 0) text += texts::kFinishing;
  return text;
}

std::string ProgramStatusText(const ProgressNote& note) {
  const std::string prefix = ImagePrefix(note);
  std::string text = note.line == 0
                         ? FormatText(texts::kInitializing, prefix.c_str())
                         : FormatText(texts::kProgramLine, prefix.c_str(),
                                      static_cast<unsigned long>(note.line));
  if (note.last != 0) text += texts::kFinishing;
  return text;
}

int ProgramBarPosition(const ProgressNote& note) {
  return ProgressPosition(note.range_start, note.range_end, note.line, note.consumed, note.total);
}

}  // namespace flashwright
