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

# Plays the bundled showcase production. Without a display there is nothing to watch, so
# the production is rendered offline instead: frames and one contact sheet of them.
SHOWCASE := $(ROOT)/$(BUILD)/showcase
play: build
	@if [ -n "$$DISPLAY" ]; then cd $(SHOWCASE) && $(ROOT)/$(BUILD)/korplayer; else \
		echo "No display: rendering the showcase with korrender instead of playing it."; \
		rm -rf $(SHOWCASE)/frames && mkdir -p $(SHOWCASE)/frames && \
		$(ROOT)/$(BUILD)/korrender --size 640x360 --from 0 --to end --fps 4 \
			--out $(SHOWCASE)/frames/frame%04d.png --sheet $(SHOWCASE)/contact-sheet.png \
			$(SHOWCASE)/showcase.dpk > $(SHOWCASE)/frames/frames.txt && \
		echo "Frames: $(SHOWCASE)/frames/ (times in frames.txt)" && \
		echo "Contact sheet: $(SHOWCASE)/contact-sheet.png"; fi

# Every test, headless: unit, gl, e2e, fuzz and asan.
test: build
	@scripts/run-headless ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

clean:
	rm -rf $(BUILD)
