# Set-up, build and tests on Debian 12. `make run` and `make test` install whatever Debian
# packages are missing (through sudo when not root), configure, build, then start the program
# or run every test. `make install` builds and installs under PREFIX (default /usr/local),
# staged under DESTDIR when given: make install PREFIX=/usr DESTDIR=/tmp/stage

BUILD_DIR ?= build
BUILD_TYPE ?= Release
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local

# What building, testing and running need; `make bench` adds Google Benchmark.
PACKAGES := cmake ninja-build g++ make pkg-config \
            qt6-base-dev qt6-base-dev-tools qt6-image-formats-plugins qt6-qpa-plugins \
            libgl-dev libpng-dev fonts-dejavu-core libexiv2-dev desktop-file-utils
BENCH_PACKAGES := libbenchmark-dev python3-numpy python3-opencv
# libFuzzer (with FuzzedDataProvider.h) and clang's sanitizer run-times come with
# libclang-rt-14-dev, which clang-14 does not pull in.
FUZZ_PACKAGES := clang-14 libclang-rt-14-dev

SUDO := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)

.PHONY: all run test test-sanitize fuzz install bench build configure deps bench-deps format clean

all: build

deps:
	@missing=""; \
	for p in $(PACKAGES) $(EXTRA_PACKAGES); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	    echo "Installing:$$missing"; \
	    $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get update -q && \
	    $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $$missing; \
	fi

configure: deps
	@if [ ! -f $(BUILD_DIR)/build.ninja ]; then \
	    cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_ARGS); \
	fi

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/app/tolvane

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD_DIR) --prefix "$(PREFIX)"

# Every test again, built with AddressSanitizer (leaks included) and UndefinedBehaviorSanitizer,
# asserts and the standard library's checks on. Leaks inside Qt's and the system's libraries are
# suppressed by tests/lsan.supp; any other report fails the test.
SANITIZE_DIR ?= build-sanitize
SANITIZE_FLAGS := -O1 -fsanitize=address,undefined -fno-sanitize-recover=undefined \
                  -fno-omit-frame-pointer -D_GLIBCXX_ASSERTIONS
SANITIZE_ENV := ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1 \
                UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
                LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0

test-sanitize: deps
	@if [ ! -f $(SANITIZE_DIR)/build.ninja ]; then \
	    cmake -S . -B $(SANITIZE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	        -DCMAKE_CXX_FLAGS="$(SANITIZE_FLAGS)" \
	        -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"; \
	fi
	cmake --build $(SANITIZE_DIR) -j $(JOBS)
	cd $(SANITIZE_DIR) && $(SANITIZE_ENV) ctest --output-on-failure -j $(JOBS)

# Each fuzzer for FUZZ_SECONDS, detection once more on the plain x86-64 code paths. Inputs that
# find new code gather in build-fuzz/corpus/, starting from the seeds in fuzz/corpus/; a failing
# input is written to build-fuzz/crashes/ and stops the run.
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZERS := fuzz_detection fuzz_columnfill fuzz_smarttrace fuzz_precisedetection fuzz_seamlessfill
FUZZ_RUNS := fuzz_detection fuzz_detection:TOLVANE_NO_AVX2=1 fuzz_columnfill fuzz_smarttrace \
             fuzz_precisedetection fuzz_seamlessfill

fuzz:
	$(MAKE) deps EXTRA_PACKAGES="$(FUZZ_PACKAGES)"
	@if [ ! -f $(FUZZ_DIR)/build.ninja ]; then \
	    CXX=clang++-14 cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	        -DCMAKE_CXX_FLAGS=-O2 -DTOLVANE_BUILD_FUZZERS=ON; \
	fi
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target $(FUZZERS)
	@mkdir -p $(FUZZ_DIR)/crashes
	@for run in $(FUZZ_RUNS); do \
	    name=$${run%%:*}; settings=$$([ "$$run" = "$$name" ] || echo "$${run#*:}"); \
	    echo "== $$name $$settings: $(FUZZ_SECONDS) s"; \
	    mkdir -p $(FUZZ_DIR)/corpus/$$name fuzz/corpus/$$name; \
	    env UBSAN_OPTIONS=print_stacktrace=1 $$settings $(FUZZ_DIR)/fuzz/$$name \
	        -max_total_time=$(FUZZ_SECONDS) -timeout=30 -max_len=2048 -len_control=0 \
	        -print_final_stats=1 \
	        -artifact_prefix=$(FUZZ_DIR)/crashes/$$name- \
	        $(FUZZ_DIR)/corpus/$$name fuzz/corpus/$$name || exit 1; \
	done

bench:
	$(MAKE) deps EXTRA_PACKAGES="$(BENCH_PACKAGES)"
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DTOLVANE_BUILD_BENCHMARKS=ON
	cmake --build $(BUILD_DIR) -j $(JOBS)
	@for b in $(BUILD_DIR)/bench/bench_*; do \
	    [ -x "$$b" ] && "$$b" --benchmark_min_time=1 || exit 1; \
	done
	/usr/bin/python3 bench/clean_vs_telea.py --cli $(BUILD_DIR)/cli/tolvane-cli

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR)
