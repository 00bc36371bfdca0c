#include "reader_tools/tool_status_text.h"
#include "reader_tools/tool_texts.h"

#include <cstdio>

namespace flashwright {

std::string ToolStatusText(ToolResult result, const char* refusal_sentence) {
  if (result == 0) return {};
  std::string text;
  if (result == kStatusSettingNotSupported && refusal_sentence != nullptr) {
    text = refusal_sentence;
  } else {
    char code[40];
    std::snprintf(code, sizeof code, tool_texts::kReaderError, static_cast<long>(result));
    text = code;
  }
  if (result == kStatusCommandNotSupported) text += " Command Not Supported";
  return text;
}

}  // namespace flashwright
