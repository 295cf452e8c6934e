# Thin wrapper over CMake and CTest. `make test` sets up a fresh Debian 12 machine
# (packages, build) and runs every test.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps configure build test test-asan bench demo clean

all: build

deps:
	scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Every test under AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer, in a
# build folder of its own; leaks of the UNO runtime itself are suppressed. The Python
# module's and the install test are left out: an uninstrumented interpreter or consumer
# cannot load a sanitized library.
ASAN_BUILD ?= build-asan
test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && \
	ASAN_OPTIONS=fast_unwind_on_malloc=0 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizer/lsan.supp \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	ctest --output-on-failure -j $(JOBS) -E '^(python_module_test|install_test)$$'

# Throughput and memory of the library against a headless office, side by side with
# the bare UNO floor and a Python UNO client. Pass BENCH_ARGS=--quick for a short run.
bench: build
	$(BUILD)/bench/corvane-bench $(BENCH_ARGS)
	$(BUILD)/bench/corvane-live-bench $(BENCH_ARGS)

# Streams the shipped sample market watch into a two-sheet workbook in a headless office
# and saves it as demo-out/marketwatch.ods and demo-out/marketwatch.pdf.
demo: build
	BUILD=$(BUILD) scripts/demo.sh

clean:
	rm -rf $(BUILD)
