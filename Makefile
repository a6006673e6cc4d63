# SPDX-License-Identifier: GPL-3.0-or-later
# The two commands a newcomer needs: `make demo` and `make test`.
# Each target first installs the Debian packages it needs when missing; a
# minimal Debian needs only git (to clone) and make before them.

BUILD_DIR ?= build
SANITIZE_DIR ?= build-asan
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

# ARCH: the Debian architecture to build for. Unset, or this machine's own,
# builds natively in build/. Another one (arm64, armhf) cross-builds in
# build-<arch>/ with cmake/toolchain-<arch>.cmake, and `make test` runs its
# unit tests under qemu-user and the program and package tests, built for
# this machine, on its program and package.
ARCH ?=
NATIVE_ARCH := $(shell dpkg --print-architecture)
CROSS_ARCH := $(filter-out $(NATIVE_ARCH),$(ARCH))
ifeq ($(CROSS_ARCH),)
TREE := $(BUILD_DIR)
TOOLCHAIN :=
else
ifeq ($(wildcard cmake/toolchain-$(CROSS_ARCH).cmake),)
$(error ARCH=$(CROSS_ARCH): no cmake/toolchain-$(CROSS_ARCH).cmake; this machine cross-builds for arm64 and armhf)
endif
CROSS_DIR ?= build-$(CROSS_ARCH)
TREE := $(CROSS_DIR)
TOOLCHAIN := -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/toolchain-$(CROSS_ARCH).cmake
endif
# How this machine runs the other architecture's programs; the same as the
# toolchain file's CMAKE_CROSSCOMPILING_EMULATOR.
EMULATOR_arm64 := qemu-aarch64 -L /
EMULATOR_armhf := qemu-arm -L /
EMULATOR := $(EMULATOR_$(CROSS_ARCH))
# UNIT_TESTS=no: `make test ARCH=...` builds the program and its tools
# without the tests (warnings as errors) and runs only the program and
# package tests on them, not the unit tests under qemu-user; CI tests arm64
# so (docs/development.md says why).
UNIT_TESTS ?= yes

# Qt's HTTP server and WebSockets build the web page's plugin.
BUILD_PACKAGES := cmake make g++ pkg-config libgtest-dev qt6-base-dev qt6-serialport-dev \
	qt6-httpserver-dev qt6-websockets-dev
# dpkg-shlibdeps fills in the package's dependencies; CPack needs file.
# Defined before TEST_PACKAGES, whose := would otherwise expand it to nothing.
PACKAGE_PACKAGES := dpkg-dev file
# The end-to-end tests run the program in a private X server, with a small
# window manager or none (xprop reads the window's icon), and under weston
# on that server as a native Wayland client (xwd tells when its window
# shows); hamlib's rotctl (libhamlib-utils) drives the network front door
# as trackers do; the package tests validate the desktop entry, the metainfo
# and the man page and run lintian; Debian's Chromium, its driver and
# Selenium load the web page as a phone's browser does.
TEST_PACKAGES := xvfb xdotool openbox wmctrl x11-utils x11-apps weston qt6-wayland \
	libhamlib-utils fonts-dejavu-core desktop-file-utils appstream groff-base man-db lintian \
	chromium chromium-driver python3-selenium $(PACKAGE_PACKAGES)
# The benchmark drives both windows through X with XTest, once without and
# once under openbox (its --startup command tells when it has started).
BENCH_PACKAGES := xvfb openbox libx11-dev libxtst-dev fonts-dejavu-core
# A cross build: Debian's cross compiler and the other architecture's
# libraries beside this machine's own (install-packages adds the
# architecture to dpkg when missing); dpkg-architecture names the package's
# architecture. Its tests also need this machine's own build (the program
# and package tests) and qemu-user.
CROSS_PACKAGES := cmake make dpkg-dev crossbuild-essential-$(CROSS_ARCH) \
	qt6-base-dev:$(CROSS_ARCH) qt6-serialport-dev:$(CROSS_ARCH) libgtest-dev:$(CROSS_ARCH) \
	qt6-httpserver-dev:$(CROSS_ARCH) qt6-websockets-dev:$(CROSS_ARCH)
# The program tests run the other architecture's program, which needs its
# own Qt Wayland plugin under weston.
CROSS_TEST_PACKAGES := qemu-user qt6-wayland:$(CROSS_ARCH) $(BUILD_PACKAGES)

.PHONY: all deps build run test test-packages sanitize package demo bench soak clean

# The sanitizers, the demo and the benchmark are for this machine's own build.
ifneq ($(CROSS_ARCH),)
ifneq ($(filter demo bench sanitize,$(MAKECMDGOALS)),)
$(error make $(filter demo bench sanitize,$(MAKECMDGOALS)): only for this machine's own build, not ARCH=$(CROSS_ARCH))
endif
endif

all: build

deps:
ifeq ($(CROSS_ARCH),)
	@./tools/install-packages $(BUILD_PACKAGES)
else
	@./tools/install-packages $(CROSS_PACKAGES)
endif

$(TREE)/CMakeCache.txt: | deps
	cmake -S . -B $(TREE) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(TOOLCHAIN)

build: deps $(TREE)/CMakeCache.txt
	cmake --build $(TREE) --parallel $(JOBS)

# Starts Kestavo here: it reads or writes Tavimer.ini in this directory.
run: build
	$(EMULATOR) ./$(TREE)/kestavo

# A cross build's program and package tests: the tests that start the
# program, built for this machine, on the cross build's program and package;
# the program runs through qemu-user.
define PROGRAM_TESTS
cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTAVO_WERROR=ON
	cmake --build $(BUILD_DIR) --parallel $(JOBS) --target kestavo_program_tests
	cd $(BUILD_DIR) && KESTAVO_TEST_BUILD_DIR=$(abspath $(TREE)) KESTAVO_TEST_ARCH=$(CROSS_ARCH) \
		KESTAVO_TEST_EMULATOR="$(EMULATOR)" \
		ctest --output-on-failure --timeout 300 -j $(JOBS) -L "e2e|package|program" -LE browser
endef

# Warnings are errors here (and so in CI), though not in a plain build, where
# a newer compiler's new warning must not stop a distribution's build.
test: deps
	@./tools/install-packages $(TEST_PACKAGES)
ifeq ($(CROSS_ARCH),)
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTAVO_WERROR=ON
	cmake --build $(BUILD_DIR) --parallel $(JOBS)
	cd $(BUILD_DIR) && ctest --output-on-failure --timeout 120 -j $(JOBS)
	$(MAKE) --no-print-directory sanitize
else ifeq ($(UNIT_TESTS),no)
	@./tools/install-packages $(CROSS_TEST_PACKAGES)
	cmake -S . -B $(TREE) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTAVO_WERROR=ON -DBUILD_TESTING=OFF \
		$(TOOLCHAIN)
	cmake --build $(TREE) --parallel $(JOBS)
	$(PROGRAM_TESTS)
else
	@./tools/install-packages $(CROSS_TEST_PACKAGES)
	cmake -S . -B $(TREE) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTAVO_WERROR=ON -DBUILD_TESTING=ON \
		$(TOOLCHAIN)
	cmake --build $(TREE) --parallel $(JOBS)
	@# The unit tests, one run of each test program under qemu-user; the
	@# cases it cannot run are skipped by name with the reason
	@# (tests/emulator-skips.txt).
	cd $(TREE) && ctest --output-on-failure --timeout 300 -j $(JOBS)
	@grep -h -o '\[  SKIPPED \] .* under qemu-user: .*' $(TREE)/Testing/Temporary/LastTest.log | \
		sort -u || echo "no test skipped under qemu-user"
	$(PROGRAM_TESTS)
endif

# The packages `make test` installs for the same ARCH, on one line: CI
# installs those of all its stages in one apt run.
test-packages:
	@echo $(sort $(TEST_PACKAGES) $(if $(CROSS_ARCH),$(CROSS_PACKAGES) $(CROSS_TEST_PACKAGES),$(BUILD_PACKAGES)))

# The tests that need no X server again, built with AddressSanitizer (leaks
# included) and UndefinedBehaviorSanitizer; any report fails the test.
sanitize: deps
	cmake -S . -B $(SANITIZE_DIR) -DCMAKE_BUILD_TYPE=Debug -DKESTAVO_SANITIZE=ON \
		-DKESTAVO_WERROR=ON
	cmake --build $(SANITIZE_DIR) --parallel $(JOBS)
	cd $(SANITIZE_DIR) && ASAN_OPTIONS=detect_leaks=1 \
		UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
		ctest --output-on-failure --timeout 120 -j $(JOBS) -LE "e2e|package"

# A Debian package of the program, its desktop entry and icon, in build/.
# Under umask 022, as `dpkg-buildpackage --sanitize-env` builds: a stricter
# umask would narrow the package's directories and its ar members' modes.
package: build
	@./tools/install-packages $(PACKAGE_PACKAGES)
	cd $(TREE) && umask 022 && cpack

# Kestavo against the virtual rotor controller, in build/demo; type the port
# number it tells at Kestavo's first-start prompt.
# The build's output goes to a log, shown only when the build fails, so that
# what to type is the first thing the person reads.
DEMO_PORT ?= 99
demo: deps
	@mkdir -p $(BUILD_DIR)
	@echo "demo: building Kestavo and the virtual rotor controller in $(BUILD_DIR)"
	@$(MAKE) --no-print-directory build > $(BUILD_DIR)/demo-build.log 2>&1 || \
		{ cat $(BUILD_DIR)/demo-build.log; echo "demo: the build failed; see above" >&2; exit 1; }
	@./tools/demo $(BUILD_DIR) $(DEMO_PORT)

# The end-to-end tests SOAK_RUNS times, two at a time beside two busy loops,
# and how often each case failed: a case that fails now and then shows here.
SOAK_RUNS ?= 20
soak: build
	@./tools/install-packages $(TEST_PACKAGES)
	./tools/soak $(SOAK_RUNS) $(BUILD_DIR)

# Start-up, memory and click-to-line time against a bare Qt window, measured
# on this machine; with read-back also the bearing's age at the front door and
# the line's time its questions take. A build configured before the X
# development packages were there has no benchmark yet: configure again so
# that it is picked up.
bench: build
	@./tools/install-packages $(BENCH_PACKAGES)
	@test -x $(BUILD_DIR)/kestavo-bench || { cmake -S . -B $(BUILD_DIR) && \
		cmake --build $(BUILD_DIR) --parallel $(JOBS) --target kestavo-bench kestavo-bench-bare; }
	./$(BUILD_DIR)/kestavo-bench

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) build-arm64 build-armhf
