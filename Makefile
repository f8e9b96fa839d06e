# SPDX-License-Identifier: LGPL-2.1-or-later
# Quick start: `make run` sets up what running needs and runs Lumaghost in a local root; `make test`
# installs and builds everything and runs every test.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
WERROR := $(if $(CI),ON,OFF)
RUN_ROOT ?= $(CURDIR)/.run-root

FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
TSAN_DIR ?= build-tsan
TSAN_TESTS := service_test device_test camera_test

ASAN_DIR ?= build-asan
SANITIZE := -O1 -g1 -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer

.PHONY: all deps configure build test deb run fuzz asan tsan clean format

all: build

deps:
	@scripts/install-deps.sh

CONFIGURE = cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DLUMAGHOST_WERROR=$(WERROR) \
    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON

configure: deps
	@$(CONFIGURE) -DLUMAGHOST_TESTS=ON -DLUMAGHOST_BENCH=ON >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	@ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

# The Debian package, lumaghost_VERSION_ARCH.deb here: `sudo apt install ./lumaghost_*.deb`.
deb: build
	@rm -f $(BUILD_DIR)/lumaghost_*.deb
	@cd $(BUILD_DIR) && cpack -G DEB >cpack.log 2>&1 || { cat cpack.log; exit 1; }
	@rm -f lumaghost_*.deb
	@cp $(BUILD_DIR)/lumaghost_*.deb .
	@ls lumaghost_*.deb

# The sequence reader and the language pack reader under libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer, each for half of FUZZ_SECONDS.
FUZZ_HALF = $(shell echo $$(( ($(FUZZ_SECONDS) + 1) / 2 )))

fuzz:
	@scripts/install-deps.sh fuzz
	@CXX=clang++-14 cmake -S . -B $(FUZZ_DIR) -DLUMAGHOST_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DLUMAGHOST_WERROR=$(WERROR) >/dev/null
	@cmake --build $(FUZZ_DIR) -j $(JOBS)
	@mkdir -p $(FUZZ_DIR)/corpus $(FUZZ_DIR)/corpus-lang
	@$(FUZZ_DIR)/fuzz/sequence_fuzz -max_total_time=$(FUZZ_HALF) -max_len=4096 -print_final_stats=1 \
	    $(FUZZ_DIR)/corpus fuzz/corpus >$(FUZZ_DIR)/fuzz.log 2>&1; rc=$$?; tail -n 8 $(FUZZ_DIR)/fuzz.log; \
	    echo "fuzz: sequence reader exit code $$rc"; exit $$rc
	@$(FUZZ_DIR)/fuzz/lang_pack_fuzz -max_total_time=$(FUZZ_HALF) -max_len=8192 -print_final_stats=1 \
	    $(FUZZ_DIR)/corpus-lang fuzz/corpus-lang >$(FUZZ_DIR)/fuzz-lang.log 2>&1; rc=$$?; \
	    tail -n 8 $(FUZZ_DIR)/fuzz-lang.log; echo "fuzz: language pack reader exit code $$rc"; exit $$rc

# The frame channel under a hostile writer, with AddressSanitizer and UndefinedBehaviorSanitizer
# built into the programs that test runs (and only those), without the hardening flags. Warnings
# are the main build's: the instrumented optimiser sees ranges that are not there.
asan: deps
	@cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=None -DLUMAGHOST_WERROR=OFF \
	    -DLUMAGHOST_BENCH=OFF -DLUMAGHOST_HARDENING=OFF -DCMAKE_CXX_FLAGS="$(SANITIZE)" \
	    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
	@cmake --build $(ASAN_DIR) -j $(JOBS) --target lumaghost_hostile_channel lumacam
	@ctest --test-dir $(ASAN_DIR) -R '^cli_hostile_writer$$' --output-on-failure

# The service, the camera device and device discovery, whose threads share state, under
# ThreadSanitizer. Each test program runs whole: a race anywhere in it fails the run. Warnings
# are the plain build's to enforce: with the instrumentation GCC adds notes (atomic_thread_fence
# is not modelled) and false stringop-overflow reports, so they do not fail this build.
tsan: deps
	@cmake -S . -B $(TSAN_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMAGHOST_WERROR=OFF \
	    -DLUMAGHOST_HARDENING=OFF -DCMAKE_CXX_FLAGS=-fsanitize=thread \
	    -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread \
	    >/dev/null
	@cmake --build $(TSAN_DIR) -j $(JOBS) --target $(TSAN_TESTS)
	@for t in $(TSAN_TESTS); do \
	    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 $(TSAN_OPTIONS)" \
	        $(TSAN_DIR)/tests/$$t --gtest_brief=1 || { echo "tsan: $$t failed"; exit 1; }; \
	done; echo "tsan: $(TSAN_TESTS) passed"

# Only what running needs: its packages, the programs and the plugin (a first configuration
# leaves the tests and benchmarks out), built with a line per quarter.
run:
	@scripts/install-deps.sh run
	@echo "Configuring $(BUILD_DIR)"
	@$(CONFIGURE) $(if $(wildcard $(BUILD_DIR)/CMakeCache.txt),,-DLUMAGHOST_TESTS=OFF \
	    -DLUMAGHOST_BENCH=OFF) >/dev/null
	@scripts/quiet-build.sh $(BUILD_DIR) $(JOBS) lumaghost_programs
	@BUILD_DIR=$(BUILD_DIR) LUMAGHOST_ROOT=$(RUN_ROOT) scripts/run-local.sh

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf $(BUILD_DIR) $(FUZZ_DIR) $(ASAN_DIR) $(TSAN_DIR) lumaghost_*.deb
