// Runs a loaded provider out of memory on demand: its import of msvcrt's
// malloc is pointed at a function that always fails, and nothing else in
// the process changes. Using up the address space instead starves the
// rest of the process too, an emulator's own allocator among them. Needs
// no C runtime, so that the runtime-free ARM64 caller can use it.
#ifndef QUILLORY_TESTS_SUPPORT_FAIL_MALLOC_H_
#define QUILLORY_TESTS_SUPPORT_FAIL_MALLOC_H_

#include <windows.h>

namespace quillory_test {

inline void *FailingMalloc(size_t /*size*/) { return nullptr; }

// Whether a names b, ASCII letters in either case.
inline bool SameAsciiName(const char *a, const char *b) {
  for (;; ++a, ++b) {
    const char x = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a + 32) : *a;
    const char y = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b + 32) : *b;
    if (x != y) return false;
    if (x == '\0') return true;
  }
}

// Whether module imported msvcrt's malloc, now pointed at FailingMalloc.
inline bool FailMalloc(HMODULE module) {
  auto *const base = reinterpret_cast<BYTE *>(module);
  const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(
      base + reinterpret_cast<const IMAGE_DOS_HEADER *>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY &imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (const auto *dll = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(
           base + imports.VirtualAddress);
       dll->Name != 0; ++dll) {
    if (!SameAsciiName(reinterpret_cast<const char *>(base + dll->Name),
                       "msvcrt.dll")) {
      continue;
    }
    const auto *name = reinterpret_cast<const IMAGE_THUNK_DATA *>(
        base + dll->OriginalFirstThunk);
    auto *slot = reinterpret_cast<IMAGE_THUNK_DATA *>(base + dll->FirstThunk);
    for (; name->u1.AddressOfData != 0; ++name, ++slot) {
      if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal) ||
          !SameAsciiName(reinterpret_cast<const IMAGE_IMPORT_BY_NAME *>(
                             base + name->u1.AddressOfData)
                             ->Name,
                         "malloc")) {
        continue;
      }
      DWORD was = 0;
      VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &was);
      slot->u1.Function = reinterpret_cast<ULONG_PTR>(&FailingMalloc);
      VirtualProtect(slot, sizeof *slot, was, &was);
      return true;
    }
  }
  return false;
}

}  // namespace quillory_test

#endif  // QUILLORY_TESTS_SUPPORT_FAIL_MALLOC_H_
