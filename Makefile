# Thin wrapper over CMake and CTest. `make test` sets up a fresh Debian 12 machine
# (packages, build) and runs every test.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps configure build test demo clean

all: build

deps:
	scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Streams the shipped sample market watch into a two-sheet workbook in a headless office
# and saves it as demo-out/marketwatch.ods and demo-out/marketwatch.pdf.
demo: build
	BUILD=$(BUILD) scripts/demo.sh

clean:
	rm -rf $(BUILD)
