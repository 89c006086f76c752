# The user's entry points. `make test` installs what is missing, builds and
# runs every test; `make demo` runs a whole upgrade against a simulated box.

BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
CMAKE_FLAGS ?=
CTEST_FLAGS ?= --output-on-failure -j2

# Debian packages the build and the tests need.
PACKAGES := cmake ninja-build g++ socat libgtest-dev libcli11-dev qt6-base-dev qt6-svg-dev nlohmann-json3-dev fonts-liberation groff-base unixodbc unixodbc-dev odbc-postgresql postgresql

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

# The Windows build: cross-built with MinGW-w64, tested under Wine.
WIN_BUILD ?= build-win
WIN_PACKAGES := g++-mingw-w64-x86-64-posix wine wine64 fonts-wine googletest xvfb nsis

# The driver test bed: boxfeed in a QEMU guest behind the kernel's serial
# drivers; the guest's kernel is downloaded with apt-get, never installed.
DRIVER_PACKAGES := qemu-system-x86 busybox-static cpio
GUEST ?= $(BUILD)/guest

# Fuzzing with libFuzzer (clang), each target for FUZZ_SECONDS; a finding
# fails and its input is kept in fuzz-findings/.
FUZZ_PACKAGES := clang libclang-rt-14-dev
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := upgrade_engine command_file json_events

.PHONY: all deps configure build test demo bench install asan tsan clean windows-deps windows windows-installer windows-test windows-bench fuzz soak driver-test

all: build

deps:
	@$(MAKE) --no-print-directory install-packages LIST="$(PACKAGES)"

windows-deps:
	@$(MAKE) --no-print-directory install-packages LIST="$(WIN_PACKAGES)"

install-packages:
	@missing=$$(for p in $(LIST); do \
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
	$(BUILD)/bench/station_bench $(BUILD)/cli/boxfeed $(BUILD)/app/boxfeeder
	$(BUILD)/bench/store_bench tests/db/pg-server.sh

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

# boxfeeder.exe, boxfeed.exe, the Windows tests and
# build-win/boxfeed-<version>-win64.zip. The Linux build comes too: its
# boxsim and tools serve the tests, and it draws the window's icons.
windows: windows-deps build
	cmake -S . -B $(WIN_BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/mingw-w64.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DBOXFEEDER_HOST_BUILD=$(CURDIR)/$(BUILD) $(CMAKE_FLAGS)
	cmake --build $(WIN_BUILD)

# build-win/boxfeeder-<version>-setup.exe: both programs, a Start-menu
# entry and an uninstaller.
windows-installer: windows
	cmake --build $(WIN_BUILD) --target installer

# Every Windows test under Wine, the installer's too, on a virtual display;
# screenshots of the window go to build-win/screenshots/.
windows-test: windows-installer
	tests/wine/run-tests.sh $(WIN_BUILD) $(BUILD)

# boxfeed.exe's turnaround under Wine beside the least a Win32 program
# pays (bench/win32_floor.cpp), against the simulated box.
windows-bench: windows
	bench/wine_turnaround.sh $(WIN_BUILD) $(BUILD)

# 200 upgrades back to back, as processes and in one process.
driver-test: build
	@$(MAKE) --no-print-directory install-packages LIST="$(DRIVER_PACKAGES)"
	tests/driver/make-guest.sh $(BUILD) $(GUEST)
	BOXFEEDER_GUEST=$$(realpath $(GUEST)) $(BUILD)/tests/driver_test

soak: build
	$(BUILD)/bench/soak $(BUILD)

fuzz: deps
	@$(MAKE) --no-print-directory install-packages LIST="$(FUZZ_PACKAGES)"
	cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBOXFEEDER_FUZZ=ON -DBUILD_TESTING=OFF
	cmake --build build-fuzz
	mkdir -p fuzz-findings
	for target in $(FUZZ_TARGETS); do \
	  mkdir -p build-fuzz/corpus/$$target; \
	  build-fuzz/fuzz/$${target}_fuzz -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=fuzz-findings/$$target- build-fuzz/corpus/$$target fuzz/corpus/$$target \
	    || { echo "$$target: a finding, its input in fuzz-findings/"; exit 1; }; \
	done

clean:
	rm -rf build build-asan build-tsan build-win build-fuzz
