# The two commands of the README: `make run` and `make test`. Both install what is missing
# (scripts/install-deps), configure with CMake presets and build with Ninja.
PRESET ?= default
BUILD_DIR := build/$(PRESET)
BUNDLE := $(BUILD_DIR)/Tarnwell
TOOL := $(BUNDLE)/bin/tarnwell-tool

.PHONY: all deps configure build test test-asan test-tsan test-kernel run screenshots bench bench-download fuzz package tidy format format-check clean

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

# The scenarios of tests/kernel, each in a virtual machine running Debian's own kernel with
# the kernel's USB gadget and storage stack (scripts/test-kernel); SCENARIOS=name... for some.
SCENARIOS ?=
test-kernel: build
	scripts/test-kernel $(BUILD_DIR) $(SCENARIOS)

# The wizard (on the desktop when there is a display, else in the terminal) updates a copy
# of the example virtual recorder from the simulated update service. With EXAMPLE=scsi-mode-change, file-copy-two-volumes or product-information it
# runs in local mode instead: that example's firmware.ini and package sit beside the copy
# of the bundle. Everything is written under build/run.
EXAMPLE ?=
RUN_DIR := build/run
SERVED_EXAMPLE := file-copy-two-volumes
FRONT_END := $(if $(DISPLAY)$(WAYLAND_DISPLAY),,--text)
RESPONSE := resources/examples/mock/response-newer.plist
run: build
	@rm -rf $(RUN_DIR) && mkdir -p $(RUN_DIR)
	@cp -r $(BUNDLE) $(RUN_DIR)/
ifeq ($(EXAMPLE),)
	@cp -r resources/examples/$(SERVED_EXAMPLE) $(RUN_DIR)/recorder
	$(RUN_DIR)/Tarnwell/bin/tarnwell $(FRONT_END) --virtual_recorder=$(RUN_DIR)/recorder \
	  --mock_response=$(RESPONSE)
else
	@cp -r resources/examples/$(EXAMPLE) $(RUN_DIR)/recorder
	@cp resources/examples/$(EXAMPLE)/firmware.* $(RUN_DIR)/
	$(RUN_DIR)/Tarnwell/bin/tarnwell $(FRONT_END) --virtual_recorder=$(RUN_DIR)/recorder
endif

# Renders every page and window offscreen into docs/screenshots/<language>/ (LANGUAGES: all
# of the string table's by default).
LANGUAGES ?=
screenshots: build
	scripts/screenshots $(BUILD_DIR) $(LANGUAGES)

bench: build
	bench/run-all $(BUILD_DIR)

# Downloads a 256 MiB package over loopback HTTPS with tarnwell-tool and with curl.
bench-download: build
	bench/download-vs-curl.sh $(TOOL)

# Runs every fuzz target for FUZZ_SECONDS each from its seeds in fuzz/corpus/<name>
# (fuzz/run-all); what it learns stays in build/fuzz/corpus, findings in build/fuzz/findings.
FUZZ_SECONDS ?= 60
fuzz: deps
	@test -f build/fuzz/build.ninja || cmake --preset fuzz
	cmake --build --preset fuzz
	fuzz/run-all build/fuzz $(FUZZ_SECONDS)

# The Debian package build/$(PRESET)/tarnwell_<version>_<arch>.deb; see packaging/README.md.
package: build
	cd $(BUILD_DIR) && cpack -G DEB

# clang-tidy over the project's own sources, with the checked-in configuration; a file found
# clean before, with the same configuration and the same headers, is not checked again
# (scripts/clang-tidy-cached).
tidy: build
	run-clang-tidy -quiet -clang-tidy-binary $(CURDIR)/scripts/clang-tidy-cached -p $(BUILD_DIR) \
	  '^$(CURDIR)/(app|platform|driver|tests|bench)/.*\.cpp$$'

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

# Fails, naming the files, when a source file differs from what clang-format makes of it.
format-check: deps
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

clean:
	rm -rf build
