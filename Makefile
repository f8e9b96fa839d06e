# Quick start: `make run` sets everything up and runs Lumaghost in a local root; `make test` runs every test.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
WERROR := $(if $(CI),ON,OFF)
RUN_ROOT ?= $(CURDIR)/.run-root

FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60

.PHONY: all deps configure build test run fuzz clean format

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DLUMAGHOST_WERROR=$(WERROR) \
	    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	@ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

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

run: build
	@BUILD_DIR=$(BUILD_DIR) LUMAGHOST_ROOT=$(RUN_ROOT) scripts/run-local.sh

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf $(BUILD_DIR) $(FUZZ_DIR)
