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
# -noreset: by default the server resets whenever its last client leaves, and a test that connects
# during that reset fails with "could not connect to display".
test: build
	xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS) --timeout 600

demo: build
	bash scripts/run-demo.sh $(BUILD_DIR)

bench: build
	bash scripts/run-bench.sh $(BUILD_DIR)

# libFuzzer targets of the configuration readers (clang, ASan + UBSan) in a build folder of their own;
# each runs FUZZ_SECONDS from the kept corpus in fuzz/corpus/<target>, new finds go to the build folder.
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 600
FUZZ_TARGETS ?= blk_reader dom_store
fuzz: deps
	CXX=clang++ cmake -S fuzz -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target $(addprefix fuzz_,$(FUZZ_TARGETS))
	for t in $(FUZZ_TARGETS); do \
	  mkdir -p $(FUZZ_DIR)/corpus/$$t $(FUZZ_DIR)/artifacts/$$t && \
	  $(FUZZ_DIR)/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -max_len=65536 -dict=fuzz/blk.dict \
	    -artifact_prefix=$(FUZZ_DIR)/artifacts/$$t/ $(FUZZ_DIR)/corpus/$$t fuzz/corpus/$$t || exit 1; \
	done

clean:
	rm -rf $(BUILD_DIR)
