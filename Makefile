# Quick start: `make run` builds and starts Pelindra, `make test` builds and runs every test.
# Both install the Debian packages they need first (scripts/install-deps).

.PHONY: all deps configure build run test test-asan bench install package clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake --preset default >/dev/null

build: configure
	@cmake --build --preset default

# Builds just the program, so the first start does not wait for the tests.
run: configure
	@cmake --build --preset default --target pelindra
	@build/bin/pelindra

# The suite runs twice: as built for users, then built with clang under AddressSanitizer
# and UndefinedBehaviorSanitizer together with the fuzzers.
test: build
	@ctest --preset default
	@$(MAKE) --no-print-directory test-asan

test-asan: deps
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan
	@ctest --preset asan

bench: build
	@bench/run build

install: build
	@cmake --install build

package: build
	@cd build && cpack

clean:
	rm -rf build build-asan
