#include <cstring>
#include <string>

#include "platform/host_memory.h"
#include "readerprobe/detect_reader.h"

namespace flashwright::probe {
namespace {

// The library serves one call at a time (the installer's thread); this is that call.
struct CurrentCall {
  int string_size = 0;
  stack_t** stacktop = nullptr;
};
CurrentCall current_call;

}  // namespace

void BeginCall(int string_size, stack_t** stacktop) {
  current_call.string_size = string_size;
  current_call.stacktop = stacktop;
}

void EndCall() { current_call = CurrentCall{}; }

void PushString(std::string_view text) {
  if (current_call.stacktop == nullptr || current_call.string_size <= 0) return;
  const std::size_t field = static_cast<std::size_t>(current_call.string_size);
  auto* entry = static_cast<stack_t*>(platform::AllocateHostBlock(sizeof(stack_t) + field));
  if (entry == nullptr) return;
  std::memcpy(entry->text, text.data(), std::min(text.size(), field - 1));
  entry->next = *current_call.stacktop;
  *current_call.stacktop = entry;
}

void PushInt(int value) { PushString(std::to_string(value)); }

}  // namespace flashwright::probe
