# Quarnel developer commands.
#   make run [FILE=path.ply] [ARGS=...]  install, build, start the viewer
#   make test                            install, build, run every test (also the
#                                        sanitizer build and the fuzz targets)
#   make bench                           build and run the benchmarks
#   make bench-first-frame               process start to the first frame with
#                                        the mesh, against f3d when installed
#   make build | deps | clean

SHELL := /bin/bash
.SHELLFLAGS := -euo pipefail -c
.NOTPARALLEL:
.DEFAULT_GOAL := build

JOBS       ?= $(shell nproc)
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_TIME  ?= 60
FILE       ?= samples/torus_colour.ply
ARGS       ?=

WITH_DISPLAY := scripts/with-display
# A test that runs longer than this is stopped and counts as failed, so a hang
# cannot hold up the whole run.
CTEST_TIMEOUT ?= 300
# Of a long output CTest keeps both ends: the start, and the end where a test
# program says how many of its tests passed, failed and skipped.
CTEST_FLAGS  := --output-on-failure --no-tests=ignore --timeout $(CTEST_TIMEOUT) -j $(JOBS) \
                --test-output-truncation middle

# Sanitizer settings: stop at the first report, with a stack. OpenGL drivers and
# the libraries under Qt keep allocations alive until exit, so the gl and app
# tests read tests/lsan.supp.
ASAN_OPTS := halt_on_error=1:detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1
ASAN_ENV := ASAN_OPTIONS=$(ASAN_OPTS) UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
# The gl and app tests also run code of Qt and the drivers, which the compiler
# did not instrument: a read there of memory already freed goes unseen unless
# the freed memory is overwritten, so that the read finds garbage and fails.
ASAN_GL_ENV := ASAN_OPTIONS=$(ASAN_OPTS):max_free_fill_size=4096:free_fill_byte=190 \
               UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
LSAN_GL  := LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0

CMAKE_MAIN := -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARNEL_SANITIZE=OFF \
              -DQUARNEL_TESTS=ON -DQUARNEL_BENCH=ON -DQUARNEL_APP=ON -DQUARNEL_FUZZ=OFF
CMAKE_ASAN := -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARNEL_SANITIZE=ON \
              -DQUARNEL_TESTS=ON -DQUARNEL_BENCH=OFF -DQUARNEL_APP=ON -DQUARNEL_FUZZ=OFF
CMAKE_FUZZ := -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
              -DCMAKE_CXX_COMPILER=clang++ -DQUARNEL_SANITIZE=OFF -DQUARNEL_TESTS=OFF \
              -DQUARNEL_BENCH=OFF -DQUARNEL_APP=OFF -DQUARNEL_FUZZ=ON

.PHONY: deps build run test test-scripts test-main test-asan test-fuzz fuzz-run bench bench-first-frame clean

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_MAIN)
	cmake --build $(BUILD) -j $(JOBS)

run: deps
	cmake -S . -B $(BUILD) $(CMAKE_MAIN)
	@if ! ninja -C $(BUILD) -t targets all 2>/dev/null | grep '^quarnel:' >/dev/null; then \
	  echo "make run: the application is not built yet (the build has no quarnel target)"; exit 1; \
	fi
	cmake --build $(BUILD) -j $(JOBS) --target quarnel
	$(BUILD)/app/quarnel "$(FILE)" $(ARGS)

test: deps
	@start=$$(date +%s); \
	$(MAKE) --no-print-directory test-scripts; \
	$(MAKE) --no-print-directory test-main; \
	$(MAKE) --no-print-directory test-asan; \
	$(MAKE) --no-print-directory test-fuzz; \
	echo "== make test finished in $$(( $$(date +%s) - start )) s"; \
	scripts/test-summary $(BUILD)/test-results/*.xml $(ASAN_BUILD)/test-results/*.xml \
	  $(FUZZ_BUILD)/fuzz-results.txt

# The scripts that run the tests and sum them up, against stand-in tests that
# end in every way a test can (built and run in a temporary folder).
test-scripts: deps
	@echo "== scripts: the rerun and the summary against stand-in tests"
	tests/scripts/check $(CTEST_FLAGS)

# Release build with debug info: unit tests without a display, then gl tests on
# the current display or a private Xvfb, and app tests each on an Xvfb of its
# own (scripts/own-display).
test-main: build
	@echo "== $(BUILD): unit tests"
	rm -rf $(BUILD)/test-results
	ctest --test-dir $(BUILD) -L unit $(CTEST_FLAGS) --output-junit $(CURDIR)/$(BUILD)/test-results/unit.xml
	@echo "== $(BUILD): gl and app tests"
	$(WITH_DISPLAY) ctest --test-dir $(BUILD) -L 'gl|app' $(CTEST_FLAGS) --output-junit $(CURDIR)/$(BUILD)/test-results/gl-app.xml

# AddressSanitizer + UndefinedBehaviorSanitizer build of everything, the
# application included: unit tests, then gl and app tests on the display.
test-asan: deps
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_ASAN)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	@echo "== $(ASAN_BUILD): unit tests"
	rm -rf $(ASAN_BUILD)/test-results
	$(ASAN_ENV) ctest --test-dir $(ASAN_BUILD) -L unit $(CTEST_FLAGS) --output-junit $(CURDIR)/$(ASAN_BUILD)/test-results/unit.xml
	@echo "== $(ASAN_BUILD): gl and app tests"
	@# The leak checker stops every thread of the process at its exit, the GL
	@# driver's among them; on a loaded machine its tracer has been seen to crash
	@# there after every test had passed. A test that ended by its own exit code
	@# (not a signal, not its timeout) and whose output shows that crash, and
	@# nothing else wrong, is run once more; any other failure stands.
	$(ASAN_GL_ENV) $(LSAN_GL) $(WITH_DISPLAY) scripts/ctest-rerun-tracer-crash $(CURDIR)/$(ASAN_BUILD)/test-results/gl-app.xml --test-dir $(ASAN_BUILD) -L 'gl|app' $(CTEST_FLAGS)

# libFuzzer targets (clang), each run for FUZZ_TIME seconds on its seed corpus.
test-fuzz: deps
	@rm -f $(FUZZ_BUILD)/fuzz-results.txt
	@if [[ -f fuzz/CMakeLists.txt ]]; then $(MAKE) --no-print-directory fuzz-run; \
	else echo "== fuzz: there are no fuzz targets yet"; fi

fuzz-run:
	cmake -S . -B $(FUZZ_BUILD) $(CMAKE_FUZZ)
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@echo "== $(FUZZ_BUILD): fuzz targets"
	scripts/run-fuzz $(FUZZ_BUILD) $(FUZZ_TIME)

bench: build
	@found=0; \
	for exe in $$(find $(BUILD)/bench -type f -name 'bench_*' -perm -u+x 2>/dev/null | sort); do \
	  found=1; echo "== $$exe"; $(WITH_DISPLAY) "$$exe"; \
	done; \
	if [[ $$found == 0 ]]; then echo "make bench: no benchmark is built yet"; fi

# Needs a display (a private Xvfb when none is set); writes its meshes to /tmp.
bench-first-frame: build
	$(WITH_DISPLAY) bench/first_frame.py --build $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
