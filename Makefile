# SPDX-License-Identifier: GPL-3.0-or-later
# Nocturo: top-level commands. `make run` and `make test` install what is missing first.
BUILD    ?= build
TYPE     ?= RelWithDebInfo
JOBS     ?= $(shell nproc)
# Tests run one more at a time than there are cores: many wait on a broker, a database or
# a program's next line rather than on a core.
TEST_JOBS ?= $(shell echo $$(( $(JOBS) + 1 )))
DATA_DIR ?= $(HOME)/Nocturo
DEMO_DIR ?= $(HOME)/Nocturo-demo
DEMO_DAY_SECONDS ?= 600
DEMO_FAULTS ?=
CMAKE_ARGS ?=
# Another Debian architecture to build the package for (e.g. ARCH=arm64), with Debian's
# cross tool chain and the target's libraries installed beside the native ones. Empty, or
# this machine's own architecture, builds natively. Only the command line sets it: an ARCH
# in the environment (a kernel build's, say) is not taken for it.
ifneq ($(origin ARCH),command line)
override ARCH :=
endif
ifeq ($(ARCH),$(shell dpkg --print-architecture 2>/dev/null))
override ARCH :=
endif
CROSS_BUILD = build-package-$(ARCH)
CROSS_ARGS = -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/debian-cross.cmake -DNOCTURO_DEB_ARCH=$(ARCH) \
	-DNOCTURO_BENCH=OFF

.PHONY: all deps configure build run demo network-demo web-demo test test-arm64 test-cross bench sanitize \
	fuzz package system-test format clean

all: build

# With ARCH set, also what the cross build for ARCH needs (never on a plain `make test`).
deps:
	./packaging/install-deps.sh $(ARCH)

configure:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(TYPE) $(CMAKE_ARGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The program writes its daily logs into its working directory.
run: deps
	$(MAKE) build
	mkdir -p "$(DATA_DIR)"
	cd "$(DATA_DIR)" && "$(CURDIR)/$(BUILD)/src/app/nocturo"

# The unmodified program against the emulated sensor: a day of light compressed into
# DEMO_DAY_SECONDS, faults on the DEMO_FAULTS timetable (e.g. 20:unplug,30:replug) or on
# keys in the terminal (u unplug, p plug, s silent, a answer, h short replies, n normal,
# l one late reply).
# Its day files go to DEMO_DIR, apart from real records.
demo: deps
	$(MAKE) build
	mkdir -p "$(DEMO_DIR)"
	cd "$(DEMO_DIR)" && "$(CURDIR)/$(BUILD)/tools/sensor-emulator" \
		--day-seconds $(DEMO_DAY_SECONDS) $(if $(DEMO_FAULTS),--faults $(DEMO_FAULTS)) \
		-- "$(CURDIR)/$(BUILD)/src/app/nocturo"

# A network on this machine: Mosquitto and a PostgreSQL of its own in a temporary folder,
# three emulated stations with their loggers publishing, the collector writing the archive,
# and the viewer on the archive showing the three stations; nothing is left behind.
network-demo: deps
	$(MAKE) build
	./tools/network-demo.sh "$(BUILD)"

# The web service on the emulator's folder (make demo writes it): open the printed address.
WEB_LISTEN ?= 127.0.0.1:8080
web-demo: deps
	$(MAKE) build
	mkdir -p "$(DEMO_DIR)"
	"$(CURDIR)/$(BUILD)/src/web/nocturo-web" --folder "$(DEMO_DIR)" --listen $(WEB_LISTEN)

test: deps
	$(MAKE) build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(TEST_JOBS)

bench: deps
	$(MAKE) build TYPE=Release BUILD=build-release
	for b in build-release/bench/bench_*; do [ -x "$$b" ] && QT_QPA_PLATFORM=offscreen "$$b"; done

# AddressSanitizer + UndefinedBehaviorSanitizer build of everything, tests run under it.
# Any report fails the test; tests labelled no-sanitize cannot run under the sanitizers.
# Left to `make test`: the package checks (the package is the Release build's) and the
# tests that run alone (under the sanitizers they would hold the whole run for minutes).
SANITIZE_ENV = ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0
sanitize: deps
	$(MAKE) build BUILD=build-asan TYPE=Debug CMAKE_ARGS="-DNOCTURO_SANITIZE=ON -DNOCTURO_BENCH=OFF"
	cd build-asan && $(SANITIZE_ENV) QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(TEST_JOBS) -LE 'no-sanitize|packaging|alone'

# libFuzzer targets of the parsers (day files, calibration numbers, formats), built with
# clang under AddressSanitizer and UBSan in build-fuzz, each run for FUZZ_SECONDS; a crash,
# a sanitizer report or a failed check fails, with the input left in
# build-fuzz/tests/fuzz/artifacts/.
FUZZ_SECONDS ?= 30
fuzz: deps
	cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
		-DNOCTURO_FUZZ=ON -DNOCTURO_FUZZ_SECONDS=$(FUZZ_SECONDS) $(CMAKE_ARGS)
	cmake --build build-fuzz --target fuzzers -j $(JOBS)
	cd build-fuzz && ctest --output-on-failure -L fuzz -j $(JOBS)

# Debian package (CPack) of a Release build; the .deb is left in build-package/, or with
# ARCH set in build-package-ARCH/ (e.g. build-package-arm64/nocturo_<version>_arm64.deb).
package: deps
ifeq ($(ARCH),)
	$(MAKE) build TYPE=Release BUILD=build-package \
		CMAKE_ARGS="-DNOCTURO_TESTS=OFF -DNOCTURO_BENCH=OFF -DNOCTURO_TOOLS=OFF $(CMAKE_ARGS)"
	cd build-package && cpack -G DEB
else
	$(MAKE) build TYPE=Release BUILD=$(CROSS_BUILD) CMAKE_ARGS="$(CROSS_ARGS) -DNOCTURO_TESTS=OFF $(CMAKE_ARGS)"
	cd $(CROSS_BUILD) && cpack -G DEB
endif

# The whole-system test (tests/system/vm): the package of the build tree installed and run
# as a station on a Debian 12 machine under qemu, with the emulated sensor on its USB.
# Not part of `make test`. Installs qemu and mmdebstrap the first time; makes the machine's
# image with mmdebstrap as root (through sudo when not root) and keeps it in
# $(BUILD)/system-test for the next run.
system-test: deps
	./packaging/install-deps.sh --system-test
	$(MAKE) build
	tests/system/vm/run.sh $(BUILD)

# The tests cross-built for ARCH in the same Release build as its package, run under
# qemu-user (CMAKE_CROSSCOMPILING_EMULATOR), offscreen. Left out: the emulated sensor and
# what drives it (it is a tool of the build machine), and tests labelled native-only.
test-arm64:
	$(MAKE) test-cross ARCH=arm64

test-cross: deps
	@[ -n "$(ARCH)" ] || { echo "test-cross: set ARCH to a foreign architecture, e.g. ARCH=arm64" >&2; exit 1; }
	$(MAKE) build TYPE=Release BUILD=$(CROSS_BUILD) CMAKE_ARGS="$(CROSS_ARGS) -DNOCTURO_TESTS=ON $(CMAKE_ARGS)"
	cd $(CROSS_BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(TEST_JOBS) -LE native-only

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-release build-asan build-fuzz build-package build-package-*
