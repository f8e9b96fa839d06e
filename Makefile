# Quick start: `make run` sets everything up and runs Lumaghost in a local root; `make test` runs every test.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
WERROR := $(if $(CI),ON,OFF)
RUN_ROOT ?= $(CURDIR)/.run-root

.PHONY: all deps configure build test run clean format

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

run: build
	@BUILD_DIR=$(BUILD_DIR) LUMAGHOST_ROOT=$(RUN_ROOT) scripts/run-local.sh

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf $(BUILD_DIR)
