# Thin wrapper over CMake and CTest. `make test` sets up a fresh Debian 12 machine
# (packages, build) and runs every test.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps configure build test clean

all: build

deps:
	scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD)
