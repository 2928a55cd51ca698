# Thin wrapper: `make demo` converts the bundled example, `make test` builds
# and runs every test. Both install missing Debian packages when run as root.
BUILD      ?= build
ASAN_BUILD ?= build-asan
WEB_BUILD  ?= build-web
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_ARGS ?=
CLI_CASES  ?= $(sort $(patsubst %/cmd,%,$(shell find tests/cli/cases -name cmd -type f)))
FONT_BUILD ?= build-fonts
MISAKI_TTF ?= /usr/share/fonts/truetype/misaki/misaki_gothic.ttf

.PHONY: all deps build programs demo test deb test-deb test-asan cli-expect check-fonts bench clean web-deps web test-web bench-web windows test-windows windows-expect

all: build

deps:
	@sh tools/ensure-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_ARGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# The two programs alone: a first run need not wait for the tests to compile.
programs: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target kvzpack kvzdeck

demo: programs
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

# The page: the converter as WebAssembly, built with Debian's emscripten
# into $(WEB_BUILD)/site/. Emscripten runs its tools with node; a node that is
# not Debian's own finds their modules only through NODE_PATH.
EMSCRIPTEN_ENV = NODE_PATH=/usr/share/nodejs

web-deps:
	@KVZPACK_WEB_DEPS=1 sh tools/ensure-deps.sh

$(WEB_BUILD)/CMakeCache.txt: | web-deps
	$(EMSCRIPTEN_ENV) emcmake cmake -S web -B $(WEB_BUILD) -DCMAKE_BUILD_TYPE=Release

# The page's readers of Anki packages, as pinned by web/libraries/package-lock.json.
web/libraries/node_modules/.package-lock.json: web/libraries/package-lock.json | web-deps
	cd web/libraries && npm ci --no-audit --no-fund

web: web-deps web/libraries/node_modules/.package-lock.json $(WEB_BUILD)/CMakeCache.txt
	$(EMSCRIPTEN_ENV) cmake --build $(WEB_BUILD) -j $(JOBS)

# puppeteer-core as pinned by web/tests/package-lock.json; it drives
# Debian's Chromium, so it downloads no browser of its own.
web/tests/node_modules/.package-lock.json: web/tests/package-lock.json | web-deps
	cd web/tests && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund

test-web: build web web/tests/node_modules/.package-lock.json
	cd web/tests && KVZPACK_BUILD=$(abspath $(BUILD)) KVZPACK_WEB_SITE=$(abspath $(WEB_BUILD))/site node --test

bench-web: build web web/tests/node_modules/.package-lock.json
	KVZPACK_BUILD=$(abspath $(BUILD)) KVZPACK_WEB_SITE=$(abspath $(WEB_BUILD))/site node web/tests/bench-page.mjs

# The Debian package, built with CPack from a build of the programs alone;
# test-deb installs it, checks it and removes it again (as root).
# The programs are built with Debian's hardening flags, as Debian's own
# packages are.
DEB_BUILD ?= build-deb
DEB_FLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get
deb:
	@KVZPACK_DEB_DEPS=1 sh tools/ensure-deps.sh
	cmake -S . -B $(DEB_BUILD) -DCMAKE_BUILD_TYPE=Release -DKVZPACK_TESTS=OFF -DKVZPACK_BENCH=OFF \
	  -DCMAKE_CXX_FLAGS="$$($(DEB_FLAGS) CXXFLAGS) $$($(DEB_FLAGS) CPPFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$($(DEB_FLAGS) LDFLAGS)" $(CMAKE_ARGS)
	cmake --build $(DEB_BUILD) -j $(JOBS)
	cd $(DEB_BUILD) && cpack -G DEB
	@ls $(DEB_BUILD)/kvzpack_*.deb

test-deb: deb programs
	sh tools/test-deb.sh $(DEB_BUILD) $(BUILD)

# The Windows programs, cross-compiled with Debian's mingw-w64 into
# $(WINDOWS_BUILD) (kvzpack.exe, kvzdeck.exe and the zip), without the
# tests that need GoogleTest; test-windows runs the command-line cases and
# the examples against them under Wine, and compares the examples' outputs
# with those of the Linux build. windows-expect rewrites what the Windows
# cases expect (tests/windows); review it with git diff.
WINDOWS_BUILD ?= build-windows
windows:
	@KVZPACK_WINDOWS_DEPS=1 sh tools/ensure-deps.sh
	cmake -S . -B $(WINDOWS_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
	  -DKVZPACK_TESTS=OFF -DKVZPACK_BENCH=OFF
	cmake --build $(WINDOWS_BUILD) -j $(JOBS)
	@ls $(WINDOWS_BUILD)/kvzpack-*-windows-x86_64.zip

test-windows: windows programs
	sh tests/windows/run.sh $(WINDOWS_BUILD) $(BUILD)

windows-expect: windows programs
	sh tests/windows/run.sh $(WINDOWS_BUILD) $(BUILD) --update

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FONT_BUILD) $(WEB_BUILD) $(DEB_BUILD) $(WINDOWS_BUILD)
