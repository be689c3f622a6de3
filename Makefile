# Quick start: `make run` builds and starts Pelindra, `make test` builds and runs every test.
# Both install the Debian packages they need first (scripts/install-deps).

.PHONY: all deps build run test test-asan bench install package clean

all: build

deps:
	@scripts/install-deps

build: deps
	@cmake --preset default >/dev/null
	@cmake --build --preset default

run: build
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
