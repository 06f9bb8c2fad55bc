# Quick start: `make demo` and `make test`. Each target installs missing Debian packages,
# configures its CMake preset under build/<preset>/ and builds with two jobs.
JOBS ?= 2

.PHONY: deps demo test bench bench-quick bench-peers asan tsan fuzz docs configure-% build-% clean

deps:
	@bash scripts/install-deps.sh

configure-%: deps
	@cmake --preset $* >/dev/null

build-%: configure-%
	@cmake --build build/$* -j$(JOBS)

demo: build-dev
	@build/dev/cli/chronelle demo

test: build-dev
	@bash scripts/install-deps.sh --with-browser || echo "make test: chromium could not be installed; the HTML report test says why it skips"
	@ctest --test-dir build/dev --output-on-failure -j$(JOBS)
	@bash scripts/test-ratio.sh

asan: build-asan
	@ctest --test-dir build/asan --output-on-failure -j$(JOBS)

tsan: build-tsan
	@TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" ctest --test-dir build/tsan --output-on-failure -j$(JOBS)

# libFuzzer targets (clang), each run for FUZZ_SECONDS on its seed corpus under fuzz/corpus/;
# the grown corpora and any crashing inputs are kept under build/fuzz/.
FUZZ_SECONDS ?= 60

fuzz:
	@bash scripts/install-deps.sh --with-fuzz
	@cmake --preset fuzz >/dev/null
	@cmake --build build/fuzz --target chronelle_fuzzers -j$(JOBS)
	@bash fuzz/run.sh build/fuzz $(FUZZ_SECONDS)

bench: build-release
	@if [ -x build/release/bench/chronelle_bench ]; then build/release/bench/chronelle_bench; \
	 else echo "no benchmarks built yet"; fi

bench-quick: build-release
	@if [ -x build/release/bench/chronelle_bench ]; then build/release/bench/chronelle_bench --quick --json build/bench.json; \
	 else echo "no benchmarks built yet"; fi

# The API reference of the installed headers (Doxygen, installed when missing), in
# build/docs/html/; fails on any undocumented public declaration. After editing headers,
# `scripts/doxygen-comments.py` turns their `//` declaration comments into Doxygen ones.
docs:
	@bash scripts/docs.sh

# Whole CLI processes beside Timewarrior (installed when missing) on one seeded data set
# per size, written as a Timewarrior database and imported into a store under build/bench-peers/.
PEER_SIZES ?= 10000,100000,1000000

bench-peers: build-release
	@bash scripts/install-deps.sh --with-timewarrior
	@python3 scripts/bench-peers.py --chronelle build/release/cli/chronelle --sizes $(PEER_SIZES)

clean:
	rm -rf build
