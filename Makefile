# The two commands the README opens with, and the builds behind them.
#   make run   installs what is missing, builds, runs the example job
#   make test  installs what is missing, builds, runs every test suite
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

BUILD      := build
BUILD_ASAN := build-asan
BUILD_TSAN := build-tsan

.PHONY: all deps build run test test-unit test-asan test-tsan bench fuzz format clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@examples/run-example.sh $(BUILD)

test-unit: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B $(BUILD_ASAN) -DCMAKE_BUILD_TYPE=Debug -DHV_SANITIZE=address,undefined $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD_ASAN) -j $(JOBS)
	cd $(BUILD_ASAN) && ctest --output-on-failure -j $(JOBS) -LE e2e

test-tsan: deps
	cmake -S . -B $(BUILD_TSAN) -DCMAKE_BUILD_TYPE=Debug -DHV_SANITIZE=thread $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD_TSAN) -j $(JOBS)
	cd $(BUILD_TSAN) && ctest --output-on-failure -j $(JOBS) -L concurrency

test: test-unit test-asan test-tsan

bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DHV_BUILD_BENCH=ON -DHV_BUILD_TESTS=OFF >/dev/null
	cmake --build build-bench -j $(JOBS)
	bench/run-benchmarks.sh build-bench

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_TSAN) build-bench build-fuzz build-windows
