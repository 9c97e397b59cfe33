# Windows on ARM64, which Debian's clang 19 has no C or C++ runtime for:
# the DLL needs none (its own entry point, and import libraries that
# llvm-dlltool makes from cmake/imports/*.def), so only the DLL is built
# here. The Windows headers are mingw-w64's.
set(CMAKE_SYSTEM_PROCESSOR ARM64)
set(QUILLORY_MINGW_TARGET aarch64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/clang-mingw.cmake)
set(CMAKE_RC_COMPILER llvm-windres-19)
set(QUILLORY_DLLTOOL llvm-dlltool-19 CACHE FILEPATH "")
set(CMAKE_CXX_FLAGS_INIT "-isystem /usr/share/mingw-w64/include")
set(CMAKE_C_FLAGS_INIT "-isystem /usr/share/mingw-w64/include")
set(CMAKE_RC_FLAGS_INIT "--target=aarch64-w64-mingw32 -I/usr/share/mingw-w64/include")
# Nothing links without a runtime, so CMake's compiler check only compiles.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(QUILLORY_DLL_ONLY ON CACHE BOOL "")
# CMake's default Windows libraries do not exist here; the DLL names its own.
set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "" FORCE)
set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "" FORCE)
