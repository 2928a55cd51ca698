# Thin wrapper: `make demo` converts the bundled example, `make test` builds
# and runs every test. Both install missing Debian packages when run as root.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_ARGS ?=
CLI_CASES  ?= tests/cli/cases/*
FONT_BUILD ?= build-fonts
MISAKI_TTF ?= /usr/share/fonts/truetype/misaki/misaki_gothic.ttf

.PHONY: all deps build demo test test-asan cli-expect check-fonts bench clean

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

# Regenerates the three font tables from their sources into $(FONT_BUILD)
# and fails unless they equal the committed ones in src/glyph.
check-fonts:
	@KVZPACK_FONTGEN_DEPS=1 sh tools/ensure-deps.sh
	cmake -S . -B $(FONT_BUILD) -DCMAKE_BUILD_TYPE=Release -DKVZPACK_FONTGEN=ON -DKVZPACK_TESTS=OFF -DKVZPACK_BENCH=OFF
	cmake --build $(FONT_BUILD) --target kvz_fontgen -j $(JOBS)
	rm -rf $(FONT_BUILD)/tables && mkdir $(FONT_BUILD)/tables
	$(FONT_BUILD)/tools/fontgen/kvz_fontgen tools/fontgen/sources/3x8.png tools/fontgen/sources/k6x8.png \
	  $(MISAKI_TTF) $(FONT_BUILD)/tables
	for table in font4x8 fontK6x8 fontMisaki; do \
	  cmp src/glyph/$$table.cpp $(FONT_BUILD)/tables/$$table.cpp || exit 1; \
	done
	@echo "The font tables in src/glyph are what their sources give."

bench: build
	$(BUILD)/kvzpack_bench

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FONT_BUILD)
