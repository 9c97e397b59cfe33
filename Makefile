# Front-end to the CMake builds. `make test` and `make demo` set up a fresh
# machine themselves (missing Debian packages are installed first).

BUILD        ?= build
JOBS         ?= $(shell nproc)
FUZZ_SECONDS ?= 30
# The Windows Installer package's version: a newer one replaces an older.
# By default the project's own, which CMakeLists.txt holds.
VERSION      ?= $(shell sed -n 's/^project.Quillory_MapiDll VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
DIST         ?= dist
# Signing (tools/dist.sh): none unless CODESIGN_PFX is given.
export CODESIGN_PFX CODESIGN_PASSWORD CODESIGN_TIMESTAMP CODESIGN_CA
CMAKE_FLAGS  := -G Ninja -Wno-dev
SANITIZE     := -fsanitize=address,undefined -fno-sanitize-recover=all \
                -fno-omit-frame-pointer
FUZZERS      := packet_reader_fuzz packet_reader_fuzz_cxx mail_packet_fuzz \
                mail_packet_fuzz_portable mail_packet_fuzz_sse2

.PHONY: help deps deps-bench version-check native test unit unit-sanitize unit-i386 \
        unit-aarch64 fuzz arm64-wine-test example-client-test \
        dist dist-test install-test msi-test sign-test demo packet-demo bench \
        bench-native bench-wine format format-check tidy clean

# `make` alone builds nothing: it says what there is.
help:
	@echo "make demo          build, then watch a message handed over under Wine"
	@echo "make test          every test (what CI runs), ending with one summary line"
	@echo "make dist          the DLLs, install set, package and symbols in $(DIST)/"
	@echo "                   (VERSION=x.y.z; CODESIGN_PFX=... CODESIGN_PASSWORD=... signs)"
	@echo "make bench         packet and hand-off benchmarks (bench-native, bench-wine)"
	@echo "make deps          install the missing Debian packages (deps-bench: and"
	@echo "                   the 32-bit benchmark's); make test and make demo do it"
	@echo "make native | unit | unit-sanitize | unit-i386 | unit-aarch64 | fuzz |"
	@echo "     dist-test | arm64-wine-test | install-test | example-client-test |"
	@echo "     msi-test | sign-test | version-check | packet-demo | format |"
	@echo "     format-check | tidy | clean"
	@echo "QUILLORY_NO_DEPS=1 skips installing missing Debian packages."

deps:
	@tools/install-deps.sh

deps-bench:
	@tools/install-deps.sh --bench

native: deps
	cmake -S . -B $(BUILD)/native $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD)/native -j $(JOBS)

unit: native
	cd $(BUILD)/native && ctest --output-on-failure

unit-sanitize: deps
	cmake -S . -B $(BUILD)/sanitize $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug \
	  -DQUILLORY_BENCH=OFF "-DCMAKE_CXX_FLAGS=$(SANITIZE)" "-DCMAKE_C_FLAGS=$(SANITIZE)" \
	  "-DCMAKE_EXE_LINKER_FLAGS=$(SANITIZE)"
	cmake --build $(BUILD)/sanitize -j $(JOBS)
	cd $(BUILD)/sanitize && ctest --output-on-failure

# Natively where the kernel runs 32-bit programs, else under qemu.
unit-i386: deps
	native=OFF; tools/runs-32bit.sh && native=ON; \
	cmake -S . -B $(BUILD)/i386 $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/linux-i386.cmake -DQUILLORY_I386_NATIVE=$$native \
	  -DQUILLORY_GTEST_FROM_SOURCE=ON -DQUILLORY_BENCH=OFF
	cmake --build $(BUILD)/i386 -j $(JOBS)
	cd $(BUILD)/i386 && ctest --output-on-failure

# The unit tests on ARM64 (clang with Debian's -cross libraries), under
# qemu-aarch64-static.
unit-aarch64: deps
	cmake -S . -B $(BUILD)/aarch64 $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/linux-aarch64.cmake \
	  -DQUILLORY_GTEST_FROM_SOURCE=ON -DQUILLORY_BENCH=OFF
	cmake --build $(BUILD)/aarch64 -j $(JOBS)
	cd $(BUILD)/aarch64 && ctest --output-on-failure

# Each fuzzer natively and built for 32-bit x86, under the sanitizers. The
# 32-bit ones load through g++-multilib's /lib32 loader, which needs no
# i386 architecture on the machine.
I386_LOADER := -Wl,--dynamic-linker=/lib32/ld-linux.so.2
# fuzz_build DIR,COMPILER FLAGS,LINKER FLAGS: configures and builds the
# fuzzers in $(BUILD)/DIR.
define fuzz_build
cmake -S . -B $(BUILD)/$(1) $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
  -DQUILLORY_BENCH=OFF -DQUILLORY_FUZZ=ON -DQUILLORY_GTEST_FROM_SOURCE=ON \
  "-DCMAKE_CXX_FLAGS=$(2) $(SANITIZE)" "-DCMAKE_C_FLAGS=$(2) $(SANITIZE)" \
  "-DCMAKE_EXE_LINKER_FLAGS=$(2) $(3) $(SANITIZE)"
cmake --build $(BUILD)/$(1) -j $(JOBS) --target $(FUZZERS)
endef
fuzz: deps
	$(call fuzz_build,fuzz,,)
	$(call fuzz_build,fuzz-i386,-m32,$(I386_LOADER))
	bash tests/fuzz/run.sh $(BUILD) $(FUZZ_SECONDS) $(FUZZERS)

# A version Windows would refuse fails before anything is built, and so
# does a signing certificate that would not open or verify.
version-check:
	@tools/check-version.sh '$(VERSION)'
	@tools/check-signing.sh

# The three Windows DLLs from one source, each built with clang and lld
# (x86 and x64 on mingw-w64's headers and libraries), with the stand-in
# client and the test caller, collected in $(DIST) with the registration,
# the package and a symbol store of the DLLs and their PDBs; signed when
# CODESIGN_PFX names a certificate (tools/dist.sh says how). The release
# tests read that store.
# windows_build DIR,TOOLCHAIN: configures and builds the release for one
# architecture in $(BUILD)/DIR.
define windows_build
cmake -S . -B $(BUILD)/$(1) $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/$(2).cmake \
  -DQUILLORY_VERSION=$(VERSION) -DQUILLORY_DIST=$(abspath $(DIST))
cmake --build $(BUILD)/$(1) -j $(JOBS)
endef
dist: version-check deps
	$(call windows_build,mingw-i686,mingw-i686)
	$(call windows_build,mingw-x86_64,mingw-x86_64)
	$(call windows_build,clang-aarch64,clang-aarch64-mingw)
	tools/dist.sh $(BUILD) $(DIST) $(VERSION)

# Structure, version and symbols of the three DLLs; the x86 and x64 ones
# end to end under Wine (the 32-bit one where this machine runs 32-bit
# programs).
dist-test: dist
	cd $(BUILD)/clang-aarch64 && ctest --output-on-failure -V
	cd $(BUILD)/mingw-x86_64 && ctest --output-on-failure -V
	cd $(BUILD)/mingw-i686 && ctest --output-on-failure -V

# The ARM64 DLL under Debian's arm64 Wine and qemu, with an ARM64 caller.
arm64-wine-test: dist native
	bash tests/windows/arm64-wine.sh $(BUILD) $(DIST)

# The install set with the .reg files and the register scripts.
install-test: dist
	bash tests/windows/install.sh $(DIST)

# The example client (examples/client) installed as Quillory.exe.
example-client-test: dist
	bash tests/windows/example-client.sh $(DIST)

# The Windows Installer package under Wine's msiexec.
msi-test: dist
	bash tests/windows/msi.sh $(DIST)

# A versioned, signed release, with a throwaway certificate.
sign-test: dist
	bash tests/windows/signing.sh $(BUILD)

# Every stage, then one summary line.
test:
	@MAKE='$(MAKE)' tests/run-tests.sh

# Builds into a log, then shows a message handed over, in a few lines.
demo: deps
	@MAKE='$(MAKE)' bash tools/demo.sh $(BUILD) $(DIST) $(VERSION)

packet-demo: native
	$(BUILD)/native/examples/packet_demo

bench: bench-native bench-wine

# Both x86 data models: the 32-bit build links Debian's i386 Google
# Benchmark, so it is not static; where that could not be installed, the
# 32-bit run is left out and the summary says so.
I386_BENCHMARK := /usr/lib/i386-linux-gnu/cmake/benchmark
bench-native: deps-bench
	cmake -S . -B $(BUILD)/bench $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD)/bench -j $(JOBS) --target packet_bench
	rm -f $(BUILD)/bench-i386/bench/packet_bench
	if [ -d $(I386_BENCHMARK) ]; then \
	  cmake -S . -B $(BUILD)/bench-i386 $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release \
	    -DCMAKE_TOOLCHAIN_FILE=cmake/linux-i386.cmake -DCMAKE_EXE_LINKER_FLAGS=-m32 \
	    -DQUILLORY_GTEST_FROM_SOURCE=ON && \
	  cmake --build $(BUILD)/bench-i386 -j $(JOBS) --target packet_bench; \
	fi
	bash bench/native-bench.sh $(BUILD)

bench-wine: dist
	bash bench/wine-bench.sh $(BUILD)/mingw-x86_64

SOURCES = $$(git ls-files '*.h' '*.c' '*.cpp')
format:
	clang-format -i $(SOURCES)

# What make test runs: nothing changed, any difference an error.
format-check:
	clang-format --dry-run -Werror $(SOURCES)

# db_files DB: our C and C++ sources in the compile database DB, none that
# the build made.
db_files = $(filter %.c %.cpp,$(filter-out $(abspath $(BUILD))/%,$(shell \
  sed -n 's/^ *"file": "\(.*\)",\{0,1\}$$/\1/p' $(1))))
MINGW_CXX := /usr/lib/gcc/x86_64-w64-mingw32/12-win32/include/c++
# Every source of the native build, then the Windows build's others. The
# Windows half reads the x64 build's compile commands without two of
# clang 19's options, which Debian's clang-tidy 14 does not know.
tidy: native dist
	clang-tidy -p $(BUILD)/native --quiet $(call db_files,$(BUILD)/native/compile_commands.json)
	mkdir -p $(BUILD)/tidy-mingw
	sed -e 's/ -mguard=cf//g' -e 's/ -gno-codeview-command-line//g' \
	  $(BUILD)/mingw-x86_64/compile_commands.json \
	  >$(BUILD)/tidy-mingw/compile_commands.json
	clang-tidy -p $(BUILD)/tidy-mingw --quiet \
	  --extra-arg=--target=x86_64-w64-mingw32 \
	  --extra-arg=-isystem$(MINGW_CXX) \
	  --extra-arg=-isystem$(MINGW_CXX)/x86_64-w64-mingw32 \
	  $(filter-out $(call db_files,$(BUILD)/native/compile_commands.json), \
	    $(call db_files,$(BUILD)/mingw-x86_64/compile_commands.json))

clean:
	rm -rf $(BUILD) $(DIST)
