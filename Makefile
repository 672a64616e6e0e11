# The two commands of the README, and a few conveniences.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: deps configure build demo check clean

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# The main job: an emulated handheld set up and shown (see README).
demo: build
	@scripts/demo.sh $(BUILD)

# Every test: unit, servers and gui.
check: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) build-asan build-fuzz
