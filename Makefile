# Two commands on a fresh machine:
#   make run   - install what is missing, build, start Orvantide on the sample frame
#   make test  - install what is missing, build, run every test (also under ASan/UBSan)

JOBS   ?= $(shell nproc 2>/dev/null || echo 4)
BUILD  ?= build
ASAN   ?= build-asan
FUZZ   ?= build-fuzz
FUZZ_SECONDS ?= 15
CMAKE_FLAGS ?=

.PHONY: all deps build asan fuzz run test bench clean

all: build

deps:
	@./scripts/install-deps --check >/dev/null 2>&1 || ./scripts/install-deps

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

$(ASAN)/build.ninja: | deps
	cmake -S . -B $(ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORV_SANITIZE=ON \
	      -DORV_BUILD_UI=OFF -DORV_BUILD_BENCH=OFF $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

asan: deps $(ASAN)/build.ninja
	cmake --build $(ASAN) -j $(JOBS)

$(FUZZ)/build.ninja: | deps
	cmake -S . -B $(FUZZ) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	      -DORV_FUZZ=ON -DORV_BUILD_UI=OFF -DORV_BUILD_TESTS=OFF -DORV_BUILD_BENCH=OFF $(CMAKE_FLAGS)

# The frame readers' libFuzzer targets, each run for FUZZ_SECONDS.
fuzz: deps $(FUZZ)/build.ninja
	cmake --build $(FUZZ) -j $(JOBS)
	./tools/run_fuzz.sh $(FUZZ) $(FUZZ_SECONDS)

run: build
	$(BUILD)/orvantide data/sample.orv

test: build asan fuzz
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)
	cd $(ASAN) && ctest --output-on-failure -j $(JOBS)

bench: build
	$(BUILD)/orv_bench

clean:
	rm -rf $(BUILD) $(ASAN) $(FUZZ)
