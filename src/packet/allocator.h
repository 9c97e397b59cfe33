#ifndef QUILLORY_ALLOCATOR_H
#define QUILLORY_ALLOCATOR_H

#include <stddef.h>

namespace quillory {

// Where the packet's storage comes from: the C runtime's heap in the DLL,
// one that fails on demand in the tests.
struct Allocator {
  void *context;
  // Null when the storage cannot be had.
  void *(*allocate)(void *context, size_t size);
  void (*release)(void *context, void *block);
};

// malloc and free.
Allocator SystemAllocator();

}  // namespace quillory

#endif
