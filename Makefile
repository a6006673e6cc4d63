# The two commands a newcomer needs: `make run` and `make test`.
# Each target first installs the Debian packages it needs when missing.

BUILD_DIR ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

BUILD_PACKAGES := cmake make g++ pkg-config libgtest-dev qt6-base-dev qt6-serialport-dev
# The end-to-end tests run the program in a private X server.
TEST_PACKAGES := xvfb xdotool fonts-dejavu-core
# The benchmark drives both windows through X with XTest.
BENCH_PACKAGES := xvfb libx11-dev libxtst-dev fonts-dejavu-core

.PHONY: all deps build run test bench clean

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

# Start-up, memory and click-to-line time against a bare Qt window, measured
# on this machine. A build configured before the X development packages were
# there has no benchmark yet: configure again so that it is picked up.
bench: build
	@./tools/install-packages $(BENCH_PACKAGES)
	@test -x $(BUILD_DIR)/kestavo-bench || { cmake -S . -B $(BUILD_DIR) && \
		cmake --build $(BUILD_DIR) --parallel $(JOBS) --target kestavo-bench kestavo-bench-bare; }
	./$(BUILD_DIR)/kestavo-bench

clean:
	rm -rf $(BUILD_DIR)
