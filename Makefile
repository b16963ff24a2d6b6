# The entry points: `make build`, `make test`, `make demo`, `make bench`.
# Each installs what it needs first (scripts/install-deps.sh, safe to run again).
# `make packer` and `make install` build only the packer and install nothing from apt: they need
# cmake, g++, nlohmann-json and CLI11, and no root for a prefix of the user's own.
BUILD ?= build
JOBS ?= 2
PREFIX ?= /usr/local
DESTDIR ?=
# The build the packer comes from (make test's install test names its own).
HOST_BUILD ?= $(BUILD)/host

.PHONY: build test demo bench deps configure clean packer install

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

# The packer alone, in the host build (configured once; an existing one keeps its settings): no
# cross compilers, Wine or GoogleTest needed.
packer:
	@test -f $(HOST_BUILD)/CMakeCache.txt || cmake -S . -B $(HOST_BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(HOST_BUILD) -j$(JOBS) --target uninstpack

# The packer, its manual page and its bash completion under $(DESTDIR)$(PREFIX).
install: packer
	install -d "$(DESTDIR)$(PREFIX)/bin" "$(DESTDIR)$(PREFIX)/share/man/man1" \
	  "$(DESTDIR)$(PREFIX)/share/bash-completion/completions"
	install -m 755 "$(HOST_BUILD)/uninstpack" "$(DESTDIR)$(PREFIX)/bin/uninstpack"
	install -m 644 docs/uninstpack.1 "$(DESTDIR)$(PREFIX)/share/man/man1/uninstpack.1"
	install -m 644 scripts/uninstpack.bash-completion \
	  "$(DESTDIR)$(PREFIX)/share/bash-completion/completions/uninstpack"

clean:
	rm -rf $(BUILD)
