# Quick start: `make run` builds and starts Pelindra, `make test` builds and runs every test.
# Both install the Debian packages they need first: `make run` what building and running
# need (scripts/install-deps), `make test` the test tools as well (--test).

.PHONY: all deps test-deps configure build run test test-asan release bench install package clean

all: build

deps:
	@scripts/install-deps

test-deps:
	@scripts/install-deps --test

configure: deps
	@cmake --preset default >/dev/null

build: configure
	@cmake --build --preset default

# Builds the two programs only, so the first start does not wait for the tests.
run: configure
	@cmake --build --preset default --target pelindra pelindra-track
	@build/bin/pelindra

# The suite runs as built for users, then built with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer together with the fuzzers; in between, the programs are
# built once more as distributions build them (Release, -O3).
test: test-deps build
	@ctest --preset default
	@$(MAKE) --no-print-directory release
	@$(MAKE) --no-print-directory test-asan

# The optimizer at -O3 sees more and so warns about more, and warnings stop this build.
release: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release --target pelindra pelindra-track

# ctest shows no output of passing tests, so the coverage each fuzzer reached is
# printed after it, pass or fail.
test-asan: test-deps
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan
	@rm -f build-asan/fuzz/*.coverage
	@ctest --preset asan; status=$$?; \
	    echo "Fuzzer coverage (cov: edges reached, ft: features):"; \
	    cat build-asan/fuzz/*.coverage 2>/dev/null; \
	    exit $$status

bench: test-deps build
	@bench/run build

install: build
	@cmake --install build

# dpkg-dev and file, which packaging needs, come with the test tools.
package: test-deps build
	@cd build && cpack

clean:
	rm -rf build build-release build-asan
