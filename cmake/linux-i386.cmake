# 32-bit x86 Linux, linked statically: the data model of the 32-bit DLL
# (4-byte pointers and size_t). Run natively where the kernel runs 32-bit
# programs (QUILLORY_I386_NATIVE), under qemu where it does not.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32 -static")
if(NOT QUILLORY_I386_NATIVE)
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386-static)
endif()
