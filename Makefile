# Front door. `make demo` starts the monitor with a built-in unit under test,
# `make run` starts it on real serial ports, `make test` runs every test.
# Each installs what is missing and builds first.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)

.PHONY: all deps configure build demo run test test-asan bench bench-start fuzz package clean

all: build

# What each target installs (scripts/install-deps names the packages): the
# build and the programs by default, and each other target its own on top.
DEPS = run
test test-asan: DEPS = test
package: DEPS = package
bench: DEPS = bench

deps:
	@scripts/install-deps $(DEPS)

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

# Quiet unless it fails: then the whole log, which stays in $(BUILD)/build.log.
build: configure
	@cmake --build $(BUILD) -j $(JOBS) >$(BUILD)/build.log 2>&1 || \
	  { cat $(BUILD)/build.log; echo "make: the build failed; its log is $(BUILD)/build.log" >&2; exit 1; }

demo: build
	@$(BUILD)/tools/demo/bermon-demo

run: build
	@$(BUILD)/tools/app/bermon

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer, with
# LeakSanitizer's suppressions of third-party leaks (tests/lsan.supp).
test-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined,float-cast-overflow,float-divide-by-zero -fno-sanitize-recover=undefined,float-cast-overflow,float-divide-by-zero -fno-omit-frame-pointer" \
	  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined,float-cast-overflow,float-divide-by-zero" >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

# Speed and memory figures; prints a Markdown table for BENCHMARKS.md.
bench-start:
	@echo "make bench: the benchmarks take about eleven minutes, after the build"
bench: bench-start build
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/bermon-bench

# Each fuzz target for FUZZ_SECONDS (60) from the seed corpus in fuzz/corpus.
FUZZ_SECONDS ?= 60
fuzz:
	fuzz/run $(FUZZ_SECONDS)

# The Debian packages bermon, bermon-log and bermon-plot, checked by lintian:
# any error fails the target, and so do the notes on hardening, stripping and
# systemctl in maintainer scripts (scripts/lint-packages).
package: build
	cd $(BUILD) && rm -f bermon*.deb && cpack -G DEB
	scripts/lint-packages $(BUILD)/bermon*.deb

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
