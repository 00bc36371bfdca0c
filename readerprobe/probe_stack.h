// The installer's string stack and the plug-in export that pushes onto it.
//
// The host owns a singly linked list of entries, each one block: the pointer to the next entry
// (the previous top) followed by a text field of the host's string size. The plug-in allocates
// each entry zero-filled from the allocator the host frees with (platform/host_memory.h).
#pragma once

namespace flashwright::probe {

// Named as the installer's own headers name it; kept in this namespace so it does not meet the
// C library's signal stack type of the same name.
struct stack_t {
  stack_t* next;
  char text[];
};

// The export's type, for hosts that look it up by name.
using DetectReaderFunction = void (*)(void* hwnd, int string_size, char* variables,
                                      stack_t** stacktop, void* extra);

inline constexpr const char* kDetectReaderSymbol = "DetectReader";

}  // namespace flashwright::probe

extern "C" void DetectReader(void* hwnd, int string_size, char* variables,
                             flashwright::probe::stack_t** stacktop, void* extra);
