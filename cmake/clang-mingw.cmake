# What the three Windows toolchain files share: Debian's clang 19 and lld
# for QUILLORY_MINGW_TARGET, set by the file that includes this one. One
# compiler for the DLL on every architecture, which gives it CodeView debug
# information for a PDB and Control Flow Guard.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER clang-19)
set(CMAKE_CXX_COMPILER clang++-19)
set(CMAKE_ASM_COMPILER clang-19)
foreach(lang C CXX ASM)
  set(CMAKE_${lang}_COMPILER_TARGET ${QUILLORY_MINGW_TARGET})
endforeach()
set(CMAKE_AR llvm-ar-19 CACHE FILEPATH "")
set(CMAKE_RANLIB llvm-ranlib-19 CACHE FILEPATH "")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=lld")
# Programs get the 2 MiB stack reserve that mingw-w64's own linker gives
# (lld's is 1 MiB): under Wine, WM_COPYDATA carries about as much as the
# receiving thread's reserve, and the clients' limits are measured so.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -Wl,--stack,2097152")
