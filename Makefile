# The two commands the README opens with, and the builds behind them.
#   make run   installs what is missing, builds, runs the example job
#   make test  installs what is missing, builds, runs every test suite
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

BUILD      := build
BUILD_ASAN := build-asan
BUILD_TSAN := build-tsan

.PHONY: all deps build run test test-unit test-asan test-tsan bench fuzz format clean
.PHONY: windows test-windows test-db

all: build

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@examples/run-example.sh $(BUILD)
	@echo
	@examples/run-quill-example.sh $(BUILD)

# The real-database suite (label db) needs its servers: test-db runs it.
test-unit: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -LE db

test-asan: deps
	cmake -S . -B $(BUILD_ASAN) -DCMAKE_BUILD_TYPE=Debug -DHV_SANITIZE=address,undefined $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD_ASAN) -j $(JOBS)
	cd $(BUILD_ASAN) && ctest --output-on-failure -j $(JOBS) -LE 'e2e|db'

test-tsan: deps
	cmake -S . -B $(BUILD_TSAN) -DCMAKE_BUILD_TYPE=Debug -DHV_SANITIZE=thread $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD_TSAN) -j $(JOBS)
	cd $(BUILD_TSAN) && ctest --output-on-failure -j $(JOBS) -L concurrency

test: test-unit test-asan test-tsan test-db test-windows

# The real-database suite: SQLite, PostgreSQL and MariaDB through their ODBC
# drivers and Firebird through isql-fb, on throw-away servers that
# scripts/test-databases starts in a temporary folder and removes afterwards.
test-db: build
	tests/db/run-db-suite.sh $(BUILD)

# The Windows tool (32-bit, static, with its manifest) cross-built with
# mingw-w64 into build-windows; docs/windows.md.
BUILD_WINDOWS := build-windows
windows: deps
	cmake -S . -B $(BUILD_WINDOWS) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
	  -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD_WINDOWS) -j $(JOBS) --target hvprereqhandler

# The Windows suite under Wine (contract tests, scenarios, a real MSI round
# trip) in a throw-away prefix; fails, never skips, when Wine cannot start.
test-windows: deps
	JOBS=$(JOBS) tests/windows/run-wine-suite.sh

bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DHV_BUILD_BENCH=ON -DHV_BUILD_TESTS=OFF >/dev/null
	cmake --build build-bench -j $(JOBS)
	bench/run-benchmarks.sh build-bench

# Fuzzing: a clang build in build-fuzz (ASan, UBSan, libFuzzer coverage of
# the libraries), then each target for FUZZ_SECONDS, one after the other.
# Seeds come from fuzz/corpus/NAME; new inputs go to build-fuzz/corpus/NAME.
FUZZ_SECONDS ?= 60
FUZZ_BUILD := build-fuzz
define run_fuzz_target
	mkdir -p $(FUZZ_BUILD)/corpus/$(1)
	$(FUZZ_BUILD)/fuzz/$(1)_fuzz -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	  $(if $(wildcard fuzz/$(1).dict),-dict=fuzz/$(1).dict) $(2) \
	  $(FUZZ_BUILD)/corpus/$(1) fuzz/corpus/$(1)
endef

fuzz: deps
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DHV_BUILD_FUZZ=ON -DHV_BUILD_TESTS=OFF -DHV_SANITIZE=address,undefined \
	  -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
	  $(CMAKE_FLAGS) >/dev/null
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target criteria_fuzz typed_value_fuzz datadict_fuzz
	fuzz/deep-seeds.py $(FUZZ_BUILD)/corpus/criteria
	$(call run_fuzz_target,criteria,-max_len=48000)
	$(call run_fuzz_target,typed_value,-max_len=256)
	$(call run_fuzz_target,datadict,-max_len=8192)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_TSAN) build-bench build-fuzz build-windows build-windows64
