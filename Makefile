# Front-end to the CMake builds. `make test` and `make demo` set up a fresh
# machine themselves (missing Debian packages are installed first).

BUILD        ?= build
JOBS         ?= $(shell nproc)
FUZZ_SECONDS ?= 30
CMAKE_FLAGS  := -G Ninja -Wno-dev
SANITIZE     := -fsanitize=address,undefined -fno-sanitize-recover=all \
                -fno-omit-frame-pointer

.PHONY: all deps native test unit unit-sanitize unit-i386 fuzz dist \
        dist-test demo bench format tidy clean

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

unit-i386: deps
	cmake -S . -B $(BUILD)/i386 $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/linux-i386.cmake \
	  -DQUILLORY_GTEST_FROM_SOURCE=ON -DQUILLORY_BENCH=OFF
	cmake --build $(BUILD)/i386 -j $(JOBS)
	cd $(BUILD)/i386 && ctest --output-on-failure

fuzz: deps
	cmake -S . -B $(BUILD)/fuzz $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER=clang++ -DQUILLORY_BENCH=OFF -DQUILLORY_FUZZ=ON \
	  "-DCMAKE_CXX_FLAGS=$(SANITIZE)" "-DCMAKE_EXE_LINKER_FLAGS=$(SANITIZE)"
	cmake --build $(BUILD)/fuzz -j $(JOBS) --target packet_reader_fuzz
	mkdir -p $(BUILD)/fuzz/corpus
	$(BUILD)/fuzz/tests/packet_reader_fuzz -max_total_time=$(FUZZ_SECONDS) \
	  -print_final_stats=1 $(BUILD)/fuzz/corpus 2>&1 | tail -n 12

test: unit unit-sanitize unit-i386 fuzz

demo: native
	$(BUILD)/native/tools/packet_demo

bench: deps
	cmake -S . -B $(BUILD)/bench $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD)/bench -j $(JOBS) --target packet_bench
	$(BUILD)/bench/bench/packet_bench

format:
	clang-format -i $$(git ls-files '*.h' '*.cpp')

tidy: native
	clang-tidy -p $(BUILD)/native --quiet $$(git ls-files 'src/packet/*.cpp' \
	  'src/handoff/handoff.cpp' 'src/entry/send_mail.cpp')

clean:
	rm -rf $(BUILD) dist
