# The user's entry points. `make test` installs what is missing, builds and
# runs every test; `make demo` runs a whole upgrade against a simulated box.

BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
CMAKE_FLAGS ?=
CTEST_FLAGS ?= --output-on-failure -j2

# Debian packages the build and the tests need.
PACKAGES := cmake ninja-build g++ libgtest-dev libcli11-dev qt6-base-dev qt6-svg-dev nlohmann-json3-dev fonts-liberation

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps configure build test demo bench install asan tsan clean

all: build

deps:
	@missing=$$(for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing missing packages:" $$missing; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest $(CTEST_FLAGS)

# A whole upgrade of a sample image against the simulated box.
demo: build
	$(BUILD)/cli/boxfeed demo

# Throughput, CPU cost and turnaround, measured side by side in one run.
bench: build
	$(BUILD)/bench/upgrade_bench
	$(BUILD)/bench/dialog_bench
	$(BUILD)/bench/station_bench $(BUILD)/cli/boxfeed

# boxfeeder, boxfeed and boxsim, with the desktop entry and icon.
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# The same tests under AddressSanitizer + UndefinedBehaviorSanitizer, and
# under ThreadSanitizer (run without address-space randomisation, which the
# ThreadSanitizer runtime of this compiler cannot map around).
asan:
	$(MAKE) test BUILD=build-asan BUILD_TYPE=Debug CMAKE_FLAGS="$(CMAKE_FLAGS) -DBOXFEEDER_SANITIZE=address,undefined"

tsan:
	$(MAKE) build BUILD=build-tsan BUILD_TYPE=Debug CMAKE_FLAGS="$(CMAKE_FLAGS) -DBOXFEEDER_SANITIZE=thread"
	cd build-tsan && QT_QPA_PLATFORM=offscreen TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/tsan.supp" \
	  setarch $$(uname -m) -R ctest $(CTEST_FLAGS)

clean:
	rm -rf build build-asan build-tsan
