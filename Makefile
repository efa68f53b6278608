# Newcomer entry points: `make run` starts the Release engine, `make test` runs every test
# in a sanitizer build. Missing Debian packages are installed when running as root;
# otherwise the exact apt-get command is printed.

JOBS ?= 2
RELEASE_DIR := build
SANITIZE_DIR := build-sanitize

.PHONY: all deps release run test perft bench clean match soak compare

all: release

deps:
	@./scripts/ensure-packages cmake g++ make libgtest-dev

# The Release build is optimised with a profile of the engine's own search and move-tree count:
# an instrumented build runs the bench and perft once, whenever a source has changed.
PGO_DIR := build-pgo
PGO_PROFILE := $(CURDIR)/$(PGO_DIR)/profile
PGO_SOURCES := $(shell find src tools -name '*.cpp' -o -name '*.h') CMakeLists.txt

$(PGO_DIR)/profile.stamp: $(PGO_SOURCES)
	@./scripts/ensure-packages cmake g++ make
	@cmake -S . -B $(PGO_DIR) -DCMAKE_BUILD_TYPE=Release -DQUILLOMAR_TESTS=OFF \
		-DQUILLOMAR_PGO=generate -DQUILLOMAR_PGO_DIR=$(PGO_PROFILE) >/dev/null
	@rm -rf $(PGO_PROFILE)
	@cmake --build $(PGO_DIR) -j $(JOBS) --target quillomar-bench quillomar-perft
	@./$(PGO_DIR)/quillomar-bench 5 >/dev/null
	@./$(PGO_DIR)/quillomar-perft 4 >/dev/null
	@touch $@

release: deps $(PGO_DIR)/profile.stamp
	@cmake -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release -DQUILLOMAR_TESTS=OFF \
		-DQUILLOMAR_PGO=use -DQUILLOMAR_PGO_DIR=$(PGO_PROFILE) >/dev/null
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
	@rm -rf $(RELEASE_DIR) $(SANITIZE_DIR) $(PGO_DIR)

# Fuzzing with libFuzzer (clang): FUZZ_SECONDS per target, seed corpora in fuzz/corpus.
FUZZ_DIR := build-fuzz
FUZZ_SECONDS ?= 600
FUZZ_TARGETS := protocol uci fen usermove

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

# Side by side with another engine: both think COMPARE_SECONDS on each position of
# openings/compare.moves, one after the other; nodes, time and nodes/s of each and the ratio.
#   make compare COMPARE_SECONDS=5 ENGINE=/path/to/quillomar OPPONENT=fairymax
COMPARE_SECONDS ?= 3
ENGINE ?= $(RELEASE_DIR)/quillomar

compare: release
	@PATH="$$PATH:/usr/games" command -v $(firstword $(OPPONENT)) >/dev/null || \
		./scripts/ensure-packages $(firstword $(OPPONENT))
	@./scripts/compare/compare --engine "$(ENGINE)" --opponent "$(OPPONENT)" \
		--seconds "$(COMPARE_SECONDS)"

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

# Installation as Debian's chess engines are laid out (engine in PREFIX/games, manual page,
# xboard plugin and logo):
#   make install [PREFIX=/usr/local] [DESTDIR=/tmp/stage]
#   make uninstall [DESTDIR=/tmp/stage]          removes what the last install put there
#   make deb                                      build/quillomar_<version>_<arch>.deb (/usr)
PREFIX ?= /usr/local

.PHONY: install uninstall deb
install: release
	@DESTDIR="$(DESTDIR)" cmake --install $(RELEASE_DIR) --prefix "$(PREFIX)"

uninstall:
	@DESTDIR="$(DESTDIR)" cmake --build $(RELEASE_DIR) --target uninstall

deb: release
	@./scripts/ensure-packages dpkg-dev file
	@cd $(RELEASE_DIR) && cpack
