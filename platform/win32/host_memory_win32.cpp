// The installer host frees its stack entries with GlobalFree.
#include <windows.h>

#include "platform/host_memory.h"

namespace flashwright::platform {

void* AllocateHostBlock(std::size_t bytes) { return ::GlobalAlloc(GPTR, bytes); }

}  // namespace flashwright::platform
