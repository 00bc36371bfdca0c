// Memory that a library hands to the program that loaded it, which frees it by its own rule:
// the installer host frees the string stack entries a plug-in pushes.
#pragma once

#include <cstddef>

namespace flashwright::platform {

// A zero-filled block of `bytes` from the allocator the host frees with (the process heap's
// calloc/free here; a global memory block on Windows). Null when there is no memory.
void* AllocateHostBlock(std::size_t bytes);

}  // namespace flashwright::platform
