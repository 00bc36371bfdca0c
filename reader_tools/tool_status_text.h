// The status line of the reader tool dialogs after an operation.
#pragma once

#include <string>

#include "reader_tools/tool_result.h"

namespace flashwright {

// Empty for 0. Otherwise "(Reader Error %ld)" with the code, or `refusal_sentence` (when one is
// given) for status 49; " Command Not Supported" is added for status 2.
std::string ToolStatusText(ToolResult result, const char* refusal_sentence = nullptr);

}  // namespace flashwright
