#include <cstdlib>

#include "platform/host_memory.h"

namespace flashwright::platform {

void* AllocateHostBlock(std::size_t bytes) { return std::calloc(1, bytes); }

}  // namespace flashwright::platform
