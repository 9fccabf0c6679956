# Nocturo: top-level commands. `make run` and `make test` install what is missing first.
BUILD    ?= build
TYPE     ?= RelWithDebInfo
JOBS     ?= $(shell nproc)
DATA_DIR ?= $(HOME)/Nocturo
CMAKE_ARGS ?=

.PHONY: all deps configure build run demo test bench sanitize format clean

all: build

deps:
	./packaging/install-deps.sh

configure:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(TYPE) $(CMAKE_ARGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The program writes its daily logs into its working directory.
run: deps
	$(MAKE) build
	mkdir -p "$(DATA_DIR)"
	cd "$(DATA_DIR)" && "$(CURDIR)/$(BUILD)/src/app/nocturo"

test: deps
	$(MAKE) build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

bench: deps
	$(MAKE) build TYPE=Release BUILD=build-release
	for b in build-release/bench/bench_*; do [ -x "$$b" ] && QT_QPA_PLATFORM=offscreen "$$b"; done

# AddressSanitizer + UndefinedBehaviorSanitizer build of everything, tests run under it.
sanitize: deps
	$(MAKE) build BUILD=build-asan TYPE=Debug CMAKE_ARGS=-DNOCTURO_SANITIZE=ON
	cd build-asan && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-release build-asan
