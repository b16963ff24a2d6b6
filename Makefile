# The entry points: `make build`, `make test`, `make demo`, `make bench`.
# Each installs what it needs first (scripts/install-deps.sh, safe to run again).
BUILD ?= build
JOBS ?= 2

.PHONY: build test demo bench deps configure clean

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD)/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
	@cmake -S . -B $(BUILD)/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
	@cmake -S . -B $(BUILD)/host -DCMAKE_BUILD_TYPE=Release >/dev/null

build: configure
	@cmake --build $(BUILD)/win32 -j$(JOBS)
	@cmake --build $(BUILD)/win64 -j$(JOBS)
	@cmake --build $(BUILD)/host -j$(JOBS)

test: build
	@scripts/run-tests.sh $(BUILD)

demo: build
	@scripts/demo.sh $(BUILD)

bench: build
	@scripts/run-bench.sh $(BUILD)

clean:
	rm -rf $(BUILD)
