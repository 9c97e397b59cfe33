# Front-end to the CMake builds. `make test` and `make demo` set up a fresh
# machine themselves (missing Debian packages are installed first).

BUILD        ?= build
JOBS         ?= $(shell nproc)
FUZZ_SECONDS ?= 30
# The Windows Installer package's version: a newer one replaces an older.
VERSION      ?= 1.0.0
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
        bench-native bench-wine format tidy clean

# `make` alone builds nothing: it says what there is.
help:
	@echo "make demo          build, then watch a message handed over under Wine"
	@echo "make test          every test (what CI runs), ending with one summary line"
	@echo "make dist          the DLLs, install set, package and symbols in $(DIST)/"
	@echo "                   (VERSION=x.y.z; CODESIGN_PFX=... CODESIGN_PASSWORD=... signs)"
	@echo "make bench         packet and hand-off benchmarks"
	@echo "make native | unit | unit-sanitize | unit-i386 | unit-aarch64 | fuzz |"
	@echo "     dist-test | arm64-wine-test | install-test | example-client-test |"
	@echo "     msi-test | sign-test | packet-demo | format | tidy | clean"
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

# The three Windows DLLs from one source (x86 and x64 with mingw-w64, ARM64
# with clang), with the stand-in client and the test caller, collected in
# $(DIST) with the registration, the package and the
# DLLs' debug information; signed when CODESIGN_PFX names a certificate
# (tools/dist.sh says how).
dist: version-check deps
	for pair in mingw-i686:mingw-i686 mingw-x86_64:mingw-x86_64 \
	            clang-aarch64:clang-aarch64-mingw; do \
	  cmake -S . -B $(BUILD)/$${pair%%:*} $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release \
	    -DCMAKE_TOOLCHAIN_FILE=cmake/$${pair#*:}.cmake \
	    -DQUILLORY_VERSION=$(VERSION) && \
	  cmake --build $(BUILD)/$${pair%%:*} -j $(JOBS) || exit 1; \
	done
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
# Benchmark, so it is not static.
bench-native: deps-bench
	cmake -S . -B $(BUILD)/bench $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD)/bench -j $(JOBS) --target packet_bench
	cmake -S . -B $(BUILD)/bench-i386 $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/linux-i386.cmake -DCMAKE_EXE_LINKER_FLAGS=-m32 \
	  -DQUILLORY_GTEST_FROM_SOURCE=ON
	cmake --build $(BUILD)/bench-i386 -j $(JOBS) --target packet_bench
	bash bench/native-bench.sh $(BUILD)

bench-wine: dist
	bash bench/wine-bench.sh $(BUILD)/mingw-x86_64

format:
	clang-format -i $$(git ls-files '*.h' '*.c' '*.cpp')

MINGW_CXX := /usr/lib/gcc/x86_64-w64-mingw32/12-win32/include/c++
tidy: native dist
	clang-tidy -p $(BUILD)/native --quiet $$(git ls-files 'src/packet/*.cpp' \
	  'src/handoff/handoff.cpp' 'src/entry/send_mail.cpp' 'src/entry/call_log.cpp' \
	  'tests/*.cpp' \
	  'bench/*.cpp' 'examples/packet_demo/*.cpp' 'tests/support/*.cpp' \
	  ':!tests/support/*_caller.cpp' ':!tests/support/standin_client.cpp' \
	  ':!tests/support/sample_messages.cpp' ':!tests/support/debug_listener.cpp')
	clang-tidy -p $(BUILD)/mingw-x86_64 --quiet \
	  --extra-arg=--target=x86_64-w64-mingw32 \
	  --extra-arg=-isystem$(MINGW_CXX) \
	  --extra-arg=-isystem$(MINGW_CXX)/x86_64-w64-mingw32 \
	  $$(git ls-files 'src/handoff/win32_platform.cpp' 'src/entry/mapi_send_mail.cpp' \
	  'src/entry/win32_log.cpp' \
	  'tests/support/mail_caller.cpp' 'tests/support/standin_client.cpp' \
	  'tests/support/sample_messages.cpp' 'tests/support/debug_listener.cpp')

clean:
	rm -rf $(BUILD) $(DIST)
