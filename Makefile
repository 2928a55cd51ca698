# Thin wrapper: `make demo` converts the bundled example, `make test` builds
# and runs every test. Both install missing Debian packages when run as root.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_ARGS ?=
CLI_CASES  ?= tests/cli/cases/*

.PHONY: all deps build demo test test-asan cli-expect bench clean

all: build

deps:
	@sh tools/ensure-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_ARGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	@sh tools/demo.sh $(BUILD)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVZPACK_SANITIZE=ON -DKVZPACK_BENCH=OFF $(CMAKE_ARGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# Rewrites the expected outputs of the command-line cases (all, or those
# named in CLI_CASES) from what the current build does; review with git diff.
cli-expect: build
	sh tests/cli/run.sh --update $(BUILD) $(CLI_CASES)

bench: build
	$(BUILD)/kvzpack_bench

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
