# Entry points for people and CI. Each target installs what it needs first, so a fresh Debian 12
# machine needs nothing but this repository.
BUILD_DIR ?= build
JOBS ?= 2
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: deps configure build test demo bench fuzz clean

deps:
	bash scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

# Browser tests run offscreen; the real-window tests need an X server, so ctest runs under xvfb-run.
test: build
	xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS) --timeout 600

demo: build
	bash scripts/run-demo.sh $(BUILD_DIR)

bench: build
	bash scripts/run-bench.sh $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR)
