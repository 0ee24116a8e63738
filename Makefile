# Wraps the two commands of the README. Everything else is CMake's business.
BUILD ?= build
JOBS ?= $(shell nproc)
ROOT := $(CURDIR)

.PHONY: all deps build play test clean

all: build

deps:
	@scripts/install-deps

build: deps
	@mkdir -p $(BUILD)
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo > $(BUILD)/configure.log 2>&1 \
		|| { cat $(BUILD)/configure.log; exit 1; }
	@cmake --build $(BUILD) -j$(JOBS)

# Plays the bundled showcase production; without a display it plays on a private one.
play: build
	@cd $(BUILD)/showcase && if [ -n "$$DISPLAY" ]; then $(ROOT)/$(BUILD)/korplayer; \
		else $(ROOT)/scripts/run-headless $(ROOT)/$(BUILD)/korplayer; fi

# Every test, headless: unit, gl, e2e, fuzz and asan.
test: build
	@scripts/run-headless ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

clean:
	rm -rf $(BUILD)
