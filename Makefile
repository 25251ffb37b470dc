# The two commands of the README: `make run` and `make test`. Both install what is missing
# (scripts/install-deps), configure with CMake presets and build with Ninja.
PRESET ?= default
BUILD_DIR := build/$(PRESET)
BUNDLE := $(BUILD_DIR)/Tarnwell
TOOL := $(BUNDLE)/bin/tarnwell-tool

.PHONY: all deps configure build test test-asan test-tsan run bench bench-download fuzz tidy format clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@test -f $(BUILD_DIR)/build.ninja || cmake --preset $(PRESET)

build: configure
	cmake --build --preset $(PRESET)

test: build
	ctest --preset $(PRESET)

test-asan:
	$(MAKE) test PRESET=asan

test-tsan:
	$(MAKE) test PRESET=tsan

# Until the wizard exists, this shows tarnwell-tool on the bundled data.
run: build
	@echo "The wizard is not built yet; showing tarnwell-tool on the bundled data instead."
	@echo "\$$ tarnwell-tool strings ID_APP_NAME ID_MSG_OPENING ID_BTN_NEXT"
	@$(TOOL) strings ID_APP_NAME ID_MSG_OPENING ID_BTN_NEXT
	@echo "\$$ tarnwell-tool version-code 'Ver 1.23'" && $(TOOL) version-code 'Ver 1.23'
	@echo "\$$ tarnwell-tool models | head -n 3" && $(TOOL) models | head -n 3
	@echo "\$$ tarnwell-tool settings" && $(TOOL) settings
	@echo "\$$ tarnwell-tool launch-options --mock_devices=devices.plist --mock_device_fail" && \
	  $(TOOL) launch-options --mock_devices=devices.plist --mock_device_fail

bench: build
	$(BUILD_DIR)/bench/bench_localize
	$(BUILD_DIR)/bench/bench_firmware
	$(BUILD_DIR)/bench/bench_service
	bench/unzip-vs-infozip.sh $(TOOL)

# Downloads a 256 MiB package over loopback HTTPS with tarnwell-tool and with curl.
bench-download: build
	bench/download-vs-curl.sh $(TOOL)

# Runs every fuzz target for FUZZ_SECONDS each, starting from its seeds in fuzz/corpus/<name>;
# what it learns stays in build/fuzz/corpus.
FUZZ_SECONDS ?= 60
fuzz: deps
	@test -f build/fuzz/build.ninja || cmake --preset fuzz
	cmake --build --preset fuzz
	@for f in $$(cat build/fuzz/fuzzers.txt | tr ';' ' '); do \
	  seeds=fuzz/corpus/$${f#fuzz_}; mkdir -p build/fuzz/corpus/$$f $$seeds; \
	  echo "== $$f ($(FUZZ_SECONDS) s)"; \
	  build/fuzz/fuzz/$$f -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    build/fuzz/corpus/$$f $$seeds 2>&1 | grep -E 'stat::number_of_executed_units|ERROR|SUMMARY' || exit 1; \
	done

# clang-tidy over the project's own sources, with the checked-in configuration.
tidy: build
	run-clang-tidy -quiet -p $(BUILD_DIR) '^$(CURDIR)/(app|platform|driver|tests)/.*\.cpp$$'

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
