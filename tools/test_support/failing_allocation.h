// Allocation failures on demand, for tests of code that must survive running out of memory.
// Linking this library replaces the program's operator new and delete; unarmed, they are
// plain malloc and free.
#pragma once

namespace flashwright::test {

// From now on the `count`-th allocation (1-based) made on the calling thread throws
// std::bad_alloc, once; 0 disarms. Other threads allocate as usual.
void FailAllocationOnThisThread(int count);
// Disarms; true when the armed allocation has failed since it was armed.
bool AllocationFailureHappened();

}  // namespace flashwright::test
