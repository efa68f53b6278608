# Newcomer entry points: `make run` starts the Release engine, `make test` runs every test
# in a sanitizer build. Missing Debian packages are installed when running as root;
# otherwise the exact apt-get command is printed.

JOBS ?= 2
RELEASE_DIR := build
SANITIZE_DIR := build-sanitize

.PHONY: all deps release run test perft bench clean

all: release

deps:
	@./scripts/ensure-packages cmake g++ make libgtest-dev

release: deps
	@cmake -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release -DQUILLOMAR_TESTS=OFF >/dev/null
	@cmake --build $(RELEASE_DIR) -j $(JOBS)

run: release
	@./$(RELEASE_DIR)/quillomar

test: deps
	@cmake -S . -B $(SANITIZE_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLOMAR_SANITIZE=ON >/dev/null
	@cmake --build $(SANITIZE_DIR) -j $(JOBS)
	@cd $(SANITIZE_DIR) && ctest --output-on-failure -j $(JOBS)

perft: release
	@./scripts/perft-suite $(RELEASE_DIR)/quillomar-perft

bench: release
	@./$(RELEASE_DIR)/quillomar-bench

clean:
	@rm -rf $(RELEASE_DIR) $(SANITIZE_DIR)

# Fuzzing with libFuzzer (clang): FUZZ_SECONDS per target, seed corpora in fuzz/corpus.
FUZZ_DIR := build-fuzz
FUZZ_SECONDS ?= 600
FUZZ_TARGETS := protocol fen usermove

.PHONY: fuzz fuzz-build
fuzz-build:
	@./scripts/ensure-packages clang libclang-rt-14-dev cmake make
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DQUILLOMAR_FUZZ=ON -DQUILLOMAR_TESTS=OFF >/dev/null
	@cmake --build $(FUZZ_DIR) -j $(JOBS) --target $(addprefix fuzz_,$(FUZZ_TARGETS))

fuzz: fuzz-build
	@./scripts/run-fuzzers $(FUZZ_DIR) $(FUZZ_SECONDS) $(FUZZ_TARGETS)
