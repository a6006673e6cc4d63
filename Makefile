# SPDX-License-Identifier: GPL-3.0-or-later
# The two commands a newcomer needs: `make demo` and `make test`.
# Each target first installs the Debian packages it needs when missing; a
# minimal Debian needs only git (to clone) and make before them.

BUILD_DIR ?= build
SANITIZE_DIR ?= build-asan
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

BUILD_PACKAGES := cmake make g++ pkg-config libgtest-dev qt6-base-dev qt6-serialport-dev
# dpkg-shlibdeps fills in the package's dependencies; CPack needs file.
# Defined before TEST_PACKAGES, whose := would otherwise expand it to nothing.
PACKAGE_PACKAGES := dpkg-dev file
# The end-to-end tests run the program in a private X server, with a small
# window manager or none (xprop reads the window's icon), and under weston
# on that server as a native Wayland client (xwd tells when its window
# shows); hamlib's rotctl (libhamlib-utils) drives the network front door
# as trackers do; the package tests validate the desktop entry, the metainfo
# and the man page and run lintian.
TEST_PACKAGES := xvfb xdotool openbox wmctrl x11-utils x11-apps weston qt6-wayland \
	libhamlib-utils fonts-dejavu-core desktop-file-utils appstream groff-base man-db lintian \
	$(PACKAGE_PACKAGES)
# The benchmark drives both windows through X with XTest, once without and
# once under openbox (its --startup command tells when it has started).
BENCH_PACKAGES := xvfb openbox libx11-dev libxtst-dev fonts-dejavu-core

.PHONY: all deps build run test sanitize package demo bench soak clean

all: build

deps:
	@./tools/install-packages $(BUILD_PACKAGES)

$(BUILD_DIR)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) --parallel $(JOBS)

# Starts Kestavo here: it reads or writes Tavimer.ini in this directory.
run: build
	./$(BUILD_DIR)/kestavo

# Warnings are errors here (and so in CI), though not in a plain build, where
# a newer compiler's new warning must not stop a distribution's build.
test: deps
	@./tools/install-packages $(TEST_PACKAGES)
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTAVO_WERROR=ON
	cmake --build $(BUILD_DIR) --parallel $(JOBS)
	cd $(BUILD_DIR) && ctest --output-on-failure --timeout 120 -j $(JOBS)
	$(MAKE) --no-print-directory sanitize

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
	cd $(BUILD_DIR) && umask 022 && cpack

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
# on this machine. A build configured before the X development packages were
# there has no benchmark yet: configure again so that it is picked up.
bench: build
	@./tools/install-packages $(BENCH_PACKAGES)
	@test -x $(BUILD_DIR)/kestavo-bench || { cmake -S . -B $(BUILD_DIR) && \
		cmake --build $(BUILD_DIR) --parallel $(JOBS) --target kestavo-bench kestavo-bench-bare; }
	./$(BUILD_DIR)/kestavo-bench

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR)
