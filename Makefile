# The two commands a newcomer needs: `make run` and `make test`.
# Each target first installs the Debian packages it needs when missing.

BUILD_DIR ?= build
SANITIZE_DIR ?= build-asan
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

BUILD_PACKAGES := cmake make g++ pkg-config libgtest-dev qt6-base-dev qt6-serialport-dev
# The end-to-end tests run the program in a private X server with a small
# window manager; the package tests validate the desktop entry.
TEST_PACKAGES := xvfb xdotool openbox wmctrl fonts-dejavu-core desktop-file-utils $(PACKAGE_PACKAGES)
# The benchmark drives both windows through X with XTest, once without and
# once under openbox (wmctrl tells when it has taken over the screen).
BENCH_PACKAGES := xvfb openbox wmctrl libx11-dev libxtst-dev fonts-dejavu-core
# dpkg-shlibdeps fills in the package's dependencies.
PACKAGE_PACKAGES := dpkg-dev file

.PHONY: all deps build run test sanitize package demo bench clean

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

test: build
	@./tools/install-packages $(TEST_PACKAGES)
	cd $(BUILD_DIR) && ctest --output-on-failure --timeout 120 -j $(JOBS)
	$(MAKE) sanitize

# The tests that need no X server again, built with AddressSanitizer (leaks
# included) and UndefinedBehaviorSanitizer; any report fails the test.
sanitize: deps
	cmake -S . -B $(SANITIZE_DIR) -DCMAKE_BUILD_TYPE=Debug -DKESTAVO_SANITIZE=ON
	cmake --build $(SANITIZE_DIR) --parallel $(JOBS)
	cd $(SANITIZE_DIR) && ASAN_OPTIONS=detect_leaks=1 \
		UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
		ctest --output-on-failure --timeout 120 -j $(JOBS) -LE "e2e|package"

# A Debian package of the program, its desktop entry and icon, in build/.
package: build
	@./tools/install-packages $(PACKAGE_PACKAGES)
	cd $(BUILD_DIR) && cpack

# Kestavo against the virtual rotor controller, in build/demo; type the port
# number it tells at Kestavo's first-start prompt.
DEMO_PORT ?= 99
demo: build
	@./tools/demo $(BUILD_DIR) $(DEMO_PORT)

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
