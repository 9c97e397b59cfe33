#include "packet/allocator.h"

#include <stdlib.h>

namespace quillory {

namespace {

void *Allocate(void * /*context*/, size_t size) { return malloc(size); }
void Release(void * /*context*/, void *block) { free(block); }

}  // namespace

Allocator SystemAllocator() { return Allocator{nullptr, Allocate, Release}; }

}  // namespace quillory
