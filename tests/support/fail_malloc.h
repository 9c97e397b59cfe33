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

// Whether a and b are the same name; a DLL's name in any case, a
// function's only exactly.
inline bool SameName(const char *a, const char *b, bool any_case) {
  const auto fold = [any_case](char c) {
    return (any_case && c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  };
  for (;; ++a, ++b) {
    const char x = fold(*a);
    const char y = fold(*b);
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
    if (!SameName(reinterpret_cast<const char *>(base + dll->Name),
                  "msvcrt.dll", true)) {
      continue;
    }
    const auto *name = reinterpret_cast<const IMAGE_THUNK_DATA *>(
        base + dll->OriginalFirstThunk);
    auto *slot = reinterpret_cast<IMAGE_THUNK_DATA *>(base + dll->FirstThunk);
    for (; name->u1.AddressOfData != 0; ++name, ++slot) {
      if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal) ||
          !SameName(reinterpret_cast<const IMAGE_IMPORT_BY_NAME *>(
                        base + name->u1.AddressOfData)
                        ->Name,
                    "malloc", false)) {
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
