# Front-end to the CMake builds. `make test` and `make demo` set up a fresh
# machine themselves (missing Debian packages are installed first).

BUILD        ?= build
JOBS         ?= $(shell nproc)
FUZZ_SECONDS ?= 30
# The Windows Installer package's version: a newer one replaces an older.
VERSION      ?= 1.0.0
CMAKE_FLAGS  := -G Ninja -Wno-dev
SANITIZE     := -fsanitize=address,undefined -fno-sanitize-recover=all \
                -fno-omit-frame-pointer

.PHONY: all deps version-check native test unit unit-sanitize unit-i386 fuzz dist \
        dist-test demo packet-demo bench bench-native bench-wine format tidy \
        clean

all: native

deps:
	@tools/install-deps.sh

native: deps
	cmake -S . -B $(BUILD)/native $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD)/native -j $(JOBS)

unit: native
	cd $(BUILD)/native && ctest --output-on-failure

unit-sanitize: deps
	cmake -S . -B $(BUILD)/sanitize $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug \
	  -DQUILLORY_BENCH=OFF "-DCMAKE_CXX_FLAGS=$(SANITIZE)" \
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

fuzz: deps
	cmake -S . -B $(BUILD)/fuzz $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER=clang++ -DQUILLORY_BENCH=OFF -DQUILLORY_FUZZ=ON \
	  "-DCMAKE_CXX_FLAGS=$(SANITIZE)" "-DCMAKE_EXE_LINKER_FLAGS=$(SANITIZE)"
	cmake --build $(BUILD)/fuzz -j $(JOBS) --target packet_reader_fuzz \
	  mail_packet_fuzz
	for target in packet_reader_fuzz mail_packet_fuzz; do \
	  mkdir -p $(BUILD)/fuzz/corpus-$$target && \
	  $(BUILD)/fuzz/tests/$$target -max_total_time=$(FUZZ_SECONDS) \
	    -print_final_stats=1 $(BUILD)/fuzz/corpus-$$target >$(BUILD)/fuzz/$$target.log 2>&1; \
	  status=$$?; echo "$$target:"; tail -n 12 $(BUILD)/fuzz/$$target.log; \
	  [ $$status -eq 0 ] || exit $$status; \
	done

# Both Windows DLLs from one source, with the stand-in client and the test
# caller, collected in dist/ with the registry files.
# A version Windows would refuse fails before anything is built.
version-check:
	@tools/check-version.sh '$(VERSION)'

dist: version-check deps
	for arch in i686 x86_64; do \
	  cmake -S . -B $(BUILD)/mingw-$$arch $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release \
	    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-$$arch.cmake && \
	  cmake --build $(BUILD)/mingw-$$arch -j $(JOBS) || exit 1; \
	done
	rm -rf dist && mkdir -p dist/win32 dist/win64 dist/Quillory
	for pair in i686:win32:x86 x86_64:win64:AMD64; do \
	  arch=$${pair%%:*}; rest=$${pair#*:}; dir=dist/$${rest%%:*}; \
	  cp $(BUILD)/mingw-$$arch/Quillory_MapiDll.dll $$dir/ && \
	  cp $(BUILD)/mingw-$$arch/Quillory_MapiDll.dll \
	    dist/Quillory/Quillory_MapiDll_$${pair##*:}.dll && \
	  cp $(BUILD)/mingw-$$arch/tools/standin_client.exe $$dir/quillory_standin_client.exe && \
	  cp $(BUILD)/mingw-$$arch/tools/mail_caller.exe $$dir/quillory_mail_caller.exe || exit 1; \
	done
# The install set: both DLLs under the names that the registration's
# %PROCESSOR_ARCHITECTURE% picks between (x86 in every 32-bit process, AMD64
# in every x64 one), and the scripts that register the folder they lie in,
# with CR LF, which cmd's labels need.
	for f in packaging/*.cmd; do \
	  sed 's/$$/\r/' "$$f" >"dist/Quillory/$${f##*/}" || exit 1; \
	done
	bash packaging/build-msi.sh dist $(VERSION) dist/Quillory_MapiDll.msi
# The registry files as regedit writes them: UTF-16LE with a byte-order
# mark, CR LF.
	for f in packaging/*.reg; do \
	  { printf '\377\376'; sed 's/$$/\r/' "$$f" | iconv -f UTF-8 -t UTF-16LE; } \
	    >"dist/$${f##*/}" || exit 1; \
	done

# Structure of both DLLs; each end to end under Wine (the 32-bit one where
# this machine runs 32-bit programs); the packaged registration.
dist-test: dist
	cd $(BUILD)/mingw-x86_64 && ctest --output-on-failure -V
	cd $(BUILD)/mingw-i686 && ctest --output-on-failure -V
	bash tests/windows/install.sh dist
	bash tests/windows/msi.sh dist

test: unit unit-sanitize unit-i386 fuzz dist-test

demo: dist
	bash tools/demo.sh dist

packet-demo: native
	$(BUILD)/native/tools/packet_demo

bench: bench-native bench-wine

bench-native: deps
	cmake -S . -B $(BUILD)/bench $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD)/bench -j $(JOBS) --target packet_bench
	$(BUILD)/bench/bench/packet_bench

bench-wine: dist
	bash bench/wine-bench.sh $(BUILD)/mingw-x86_64

format:
	clang-format -i $$(git ls-files '*.h' '*.cpp')

MINGW_CXX := /usr/lib/gcc/x86_64-w64-mingw32/12-win32/include/c++
tidy: native dist
	clang-tidy -p $(BUILD)/native --quiet $$(git ls-files 'src/packet/*.cpp' \
	  'src/handoff/handoff.cpp' 'src/entry/send_mail.cpp' 'tests/*.cpp' \
	  'bench/*.cpp' 'tools/packet_demo.cpp')
	clang-tidy -p $(BUILD)/mingw-x86_64 --quiet \
	  --extra-arg=--target=x86_64-w64-mingw32 \
	  --extra-arg=-isystem$(MINGW_CXX) \
	  --extra-arg=-isystem$(MINGW_CXX)/x86_64-w64-mingw32 \
	  $$(git ls-files 'src/handoff/win32_platform.cpp' 'src/entry/mapi_send_mail.cpp' \
	  'tools/*/*.cpp')

clean:
	rm -rf $(BUILD) dist
