#include "tools/test_support/failing_allocation.h"

#include <cstdlib>
#include <new>

namespace {

thread_local int allocations_left = 0;
thread_local bool failed = false;

void* Allocate(std::size_t size) {
  if (allocations_left > 0 && --allocations_left == 0) {
    failed = true;
    throw std::bad_alloc();
  }
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
// The forms that answer null instead of throwing count too; all are freed by the deletes below.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

namespace flashwright::test {

void FailAllocationOnThisThread(int count) {
  allocations_left = count > 0 ? count : 0;
  failed = false;
}

bool AllocationFailureHappened() {
  allocations_left = 0;
  const bool happened = failed;
  failed = false;
  return happened;
}

}  // namespace flashwright::test
