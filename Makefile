# Newcomer entry points: `make run` starts the Release engine, `make test` runs every test
# in a sanitizer build. Missing Debian packages are installed when running as root;
# otherwise the exact apt-get command is printed.

JOBS ?= 2
RELEASE_DIR := build
SANITIZE_DIR := build-sanitize

.PHONY: all deps release run test perft bench clean match soak

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

# Engine-against-engine match in the xboard GUI (headless), judged by the GUI; for example
#   make match GAMES=10 OPPONENT=fairymax TC=40/1:00 OPENINGS=openings/quick.fen
#   make match GAMES=4 TC=0:30 INC=0.5        (also TC=1:00, TC=0:10 INC=0.1)
#   make match GAMES=10 ST=0:01               one second a move; SD=4 limits the depth
#   make match GAMES=20 TC=0:10 INC=0.1 UCI=1 the engine as UCI, through polyglot
# Results, PGN and the GUI's protocol log go to match-out/<timestamp>/.
GAMES ?= 10
OPPONENT ?= fairymax
TC ?= 40/1:00
INC ?=
ST ?=
SD ?=
UCI ?=
OPENINGS ?= openings/quick.fen

match: release
	@./scripts/match/run-match --games "$(GAMES)" --opponent "$(OPPONENT)" --tc "$(TC)" \
		--inc "$(INC)" --openings "$(OPENINGS)" $(if $(ST),--st "$(ST)") $(if $(SD),--sd "$(SD)") \
		$(if $(UCI),--uci)

# Protocol soak through the binary's stdin/stdout, moves checked by an independent oracle;
#   make soak SOAK_GAMES=300 SEED=1        findings go to soak-out/<timestamp>/
#   make soak SOAK_MODE=one-process       about 1000 games in one process, memory reported
SOAK_GAMES ?=
SEED ?=
SOAK_MODE ?=

soak: release
	@./scripts/ensure-packages stockfish
	@./scripts/soak/soak $(if $(SOAK_GAMES),--games $(SOAK_GAMES)) $(if $(SEED),--seed $(SEED)) \
		$(if $(filter one-process,$(SOAK_MODE)),--one-process)
