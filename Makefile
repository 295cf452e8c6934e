# Thin wrapper over CMake and CTest. `make test` and `make demo` set up a fresh Debian 12
# machine (packages, build) first; `make build` only builds (run `make deps` once).
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps configure build extension package test check-threads test-asan fuzz bench demo demo-bus \
	demo-formulas clean

all: build

deps:
	scripts/install-deps.sh

CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_WERROR=ON

configure:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The live-formula add-in for Calc, packed as $(BUILD)/corvane-live.oxt.
extension: configure
	cmake --build $(BUILD) -j $(JOBS) --target extension

# Debian packages of the build (libcorvane1, libcorvane-dev, corvane-tools,
# python3-corvane, libreoffice-corvane-live) in $(BUILD)/packages; install them with
# `apt install ./$(BUILD)/packages/*.deb`.
package: deps
	$(MAKE) build
	cd $(BUILD) && cpack -B packages

test: deps
	$(MAKE) build
	$(MAKE) check-threads
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The library and the live-formula add-in built with clang, whose thread-safety analysis
# checks that every member a lock guards is touched only under it; any finding fails the
# build.
CLANG_BUILD ?= build-clang
check-threads: deps
	CC=clang-14 CXX=clang++-14 cmake -S . -B $(CLANG_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DCORVANE_WERROR=ON -DCORVANE_BUILD_TESTS=OFF -DCORVANE_BUILD_BENCH=OFF
	cmake --build $(CLANG_BUILD) -j $(JOBS) --target corvane corvane-live

# Every test under AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer, in a
# build folder of its own; leaks of the UNO runtime itself are suppressed. The Python
# module's and the install test are left out: an uninstrumented interpreter or consumer
# cannot load a sanitized library; so is the demo, whose feed the office tests cover, and
# the live formulas' office test and demo, as the office itself cannot load a sanitized
# add-in (their unit test runs).
ASAN_BUILD ?= build-asan
test-asan: deps
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_FLAGS) -DCORVANE_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && \
	ASAN_OPTIONS=fast_unwind_on_malloc=0 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizer/lsan.supp \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	ctest --output-on-failure -j $(JOBS) -E '^(python_module_test|install_test|demo_test|live_formulas_office_test|demo_formulas_test)$$'

# Every fuzz target under libFuzzer with AddressSanitizer and UBSan for FUZZ_SECONDS
# each (default 60), built with clang in a build folder of its own; clang and its
# runtime are installed here, as nothing else needs them. New inputs land in
# $(FUZZ_BUILD)/corpus/<target>, failing ones in $(FUZZ_BUILD)/artifacts/<target>: copy
# those into fuzz/regressions/<target> once mended, so that `make test` replays them.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS = csv_reader numbers command_line host_text options feed_loop record_fields cstring live_rows \
	live_table
fuzz: deps
	scripts/install-deps.sh clang-14 libclang-rt-14-dev
	CC=clang-14 CXX=clang++-14 cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DCORVANE_BUILD_FUZZERS=ON -DBUILD_TESTING=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target $(addprefix fuzz_,$(FUZZ_TARGETS))
	set -e; for t in $(FUZZ_TARGETS); do \
		mkdir -p $(FUZZ_BUILD)/corpus/$$t $(FUZZ_BUILD)/artifacts/$$t; \
		echo "== fuzz_$$t"; \
		ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
		$(FUZZ_BUILD)/fuzz/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -timeout=10 \
			-dict=fuzz/dict/$$t.dict -artifact_prefix=$(FUZZ_BUILD)/artifacts/$$t/ \
			-print_final_stats=1 -print_coverage=1 \
			$(FUZZ_BUILD)/corpus/$$t fuzz/corpus/$$t fuzz/regressions/$$t \
			> $(FUZZ_BUILD)/fuzz_$$t.log 2>&1 || { tail -40 $(FUZZ_BUILD)/fuzz_$$t.log; exit 1; }; \
		grep -E '^#[0-9]+.*DONE' $(FUZZ_BUILD)/fuzz_$$t.log | tail -1; \
		scripts/fuzz-coverage.py < $(FUZZ_BUILD)/fuzz_$$t.log; \
	done

# Throughput and memory of the library against a headless office, side by side with
# the bare UNO floor and a Python UNO client. Pass BENCH_ARGS=--quick for a short run.
bench: deps
	$(MAKE) build
	$(BUILD)/bench/corvane-bench $(BENCH_ARGS)
	$(BUILD)/bench/corvane-live-bench $(BENCH_ARGS)
	$(BUILD)/bench/corvane-live-office-bench $(BENCH_ARGS)
	$(BUILD)/bench/corvane-one-step-bench $(BENCH_ARGS)
	$(BUILD)/bench/corvane-bus-bench $(BENCH_ARGS)
	FEED=$(BUILD)/tools/corvane-feed/corvane-feed bench/feed_follow.sh $(BENCH_ARGS)
	BUILD=$(BUILD) bench/feed_bus.sh $(BENCH_ARGS)
	$(BUILD)/bench/corvane-formulas-bench $(BENCH_ARGS)

# Streams the shipped sample market watch into a two-sheet workbook in a headless office
# and saves it as demo-out/marketwatch.ods and demo-out/marketwatch.pdf.
# It builds only what it runs: the library and corvane-feed.
demo: deps
	$(MAKE) configure
	cmake --build $(BUILD) -j $(JOBS) --target corvane-feed
	BUILD=$(BUILD) scripts/demo.sh

# A desk per machine: a local NATS server, the sample market watch published into a
# bucket, and a feed that mirrors the bucket into a workbook and saves
# demo-out/marketwatch-bus.ods.
demo-bus: deps
	$(MAKE) build
	BUILD=$(BUILD) scripts/demo-bus.sh

# A trader's own sheet of LIVE formulas in a headless office with the extension
# corvane-live.oxt, fed from a local NATS server, followed through a few new ticks; saves
# demo-out/live-formulas.ods and demo-out/live-formulas.png.
demo-formulas: deps
	$(MAKE) build
	BUILD=$(BUILD) scripts/demo-formulas.sh

clean:
	rm -rf $(BUILD)
