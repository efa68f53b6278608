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

# The lines guards beyond the test suite: every thinking line and move of the 1,257 positions of
# scripts/lines/positions.fen at depths 1-6 against 831357a, and of every fourth of them at
# depths 1-8 against e828dac (the references are built from the history into scratch folders).
.PHONY: lines
lines: deps
	@./scripts/ensure-packages bc
	@./scripts/lines/lines-diff
	@./scripts/lines/lines-diff --ref e828dac --depth 8 --every 4

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
#   make match UCI=1 PONDER=1 ...              pondering on for both engines (xboard's -ponder)
#   make match UCI=1 PONDER=1 OPPONENT=build/quillomar OPPONENT_UCI=1 OPPONENT_PONDER=0 ...
#                                             against itself as UCI with pondering off
# Results, PGN and the GUI's protocol log go to match-out/<timestamp>/.
GAMES ?= 10
OPPONENT ?= fairymax
TC ?= 40/1:00
INC ?=
ST ?=
SD ?=
UCI ?=
PONDER ?=
OPPONENT_UCI ?=
OPPONENT_PONDER ?=
OPENINGS ?= openings/quick.fen

match: release
	@./scripts/match/run-match --engine "$(ENGINE)" --games "$(GAMES)" --opponent "$(OPPONENT)" \
		--tc "$(TC)" --inc "$(INC)" --openings "$(OPENINGS)" $(if $(ST),--st "$(ST)") \
		$(if $(SD),--sd "$(SD)") $(if $(UCI),--uci) \
		$(if $(filter-out 0,$(PONDER)),--ponder) $(if $(filter-out 0,$(OPPONENT_UCI)),--opponent-uci) \
		$(if $(filter 0,$(OPPONENT_PONDER)),--opponent-no-ponder)

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

# Windows: quillomar.exe (with quillomar-perft.exe and quillomar-bench.exe) for 64-bit Windows,
# cross-compiled with mingw-w64, static and stripped, optimised with a profile as the Linux build
# is (the instrumented .exe runs the bench and the move-tree count under wine), and checked there:
#   make windows          the programs in build-windows/
#   make windows-check    imports, move-tree counts, bench signature and pipe conversations
#   make windows-zip      build-windows/quillomar-<version>-windows-x86_64.zip
#   make windows-speed    the bench's nodes/s under wine against the native Release build, in turn
#                         WINDOWS_ROUNDS times (default 3) at depth WINDOWS_DEPTH (default 6)
#   make match ENGINE="wine build-windows/quillomar.exe"    the .exe in the xboard GUI
# wine keeps its settings in WINEPREFIX (made once, without its .NET and browser add-ons, which
# a console engine does not use) and prints nothing of its own with WINEDEBUG=-all.
WINDOWS_DIR := build-windows
WINEPREFIX ?= $(CURDIR)/$(WINDOWS_DIR)/wine
WINEDEBUG ?= -all
WINEDLLOVERRIDES ?= mscoree,mshtml=
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES

WINDOWS_PGO_DIR := $(WINDOWS_DIR)-pgo
WINDOWS_PGO_PROFILE := $(CURDIR)/$(WINDOWS_PGO_DIR)/profile
WINDOWS_CMAKE := cmake -S . -DCMAKE_BUILD_TYPE=Release -DQUILLOMAR_TESTS=OFF \
	-DCMAKE_TOOLCHAIN_FILE=packaging/windows/toolchain-mingw-w64.cmake

WINDOWS_ROUNDS ?= 3
WINDOWS_DEPTH ?= 6

.PHONY: windows windows-check windows-zip windows-clean windows-deps windows-speed
windows-deps:
	@./scripts/ensure-packages cmake make g++-mingw-w64-x86-64-posix

$(WINDOWS_PGO_DIR)/profile.stamp: $(PGO_SOURCES) packaging/windows/toolchain-mingw-w64.cmake \
		| windows-deps $(WINEPREFIX)/system.reg
	@$(WINDOWS_CMAKE) -B $(WINDOWS_PGO_DIR) -DQUILLOMAR_PGO=generate \
		-DQUILLOMAR_PGO_DIR=$(WINDOWS_PGO_PROFILE) >/dev/null
	@rm -rf $(WINDOWS_PGO_PROFILE)
	@cmake --build $(WINDOWS_PGO_DIR) -j $(JOBS) --target quillomar-bench quillomar-perft
	@wine $(WINDOWS_PGO_DIR)/quillomar-bench.exe 5 >/dev/null
	@wine $(WINDOWS_PGO_DIR)/quillomar-perft.exe 4 >/dev/null
	@touch $@

windows: windows-deps $(WINDOWS_PGO_DIR)/profile.stamp
	@$(WINDOWS_CMAKE) -B $(WINDOWS_DIR) -DQUILLOMAR_PGO=use \
		-DQUILLOMAR_PGO_DIR=$(WINDOWS_PGO_PROFILE) >/dev/null
	@cmake --build $(WINDOWS_DIR) -j $(JOBS)

$(WINEPREFIX)/system.reg:
	@./scripts/ensure-packages wine wine64 binutils-mingw-w64-x86-64
	@mkdir -p $(dir $(WINEPREFIX))
	@wine wineboot --init

windows-check: windows $(WINEPREFIX)/system.reg
	@./scripts/windows/check $(WINDOWS_DIR)

windows-speed: release windows $(WINEPREFIX)/system.reg
	@./scripts/windows/speed $(RELEASE_DIR)/quillomar-bench $(WINDOWS_DIR)/quillomar-bench.exe \
		$(WINDOWS_DEPTH) $(WINDOWS_ROUNDS)

windows-zip: windows
	@cd $(WINDOWS_DIR) && cpack
	@ls $(WINDOWS_DIR)/quillomar-*-windows-x86_64.zip

windows-clean:
	@rm -rf $(WINDOWS_DIR) $(WINDOWS_PGO_DIR)

clean: windows-clean

# The engine in a web page, built for WebAssembly with Debian's emscripten (see README, "Play in
# a browser"): build-web/ is a static site, build-web/quillomar-node.js the same engine under
# node with standard input and output.
#   make web                          builds build-web/ (emscripten, npm ci when missing)
#   make web-serve [WEB_PORT=8019]    serves it on localhost with the cross-origin isolation headers
#   make web-test                     protocol tests, bench and perft against the node build; a
#                                     scripted game on the page in headless Chromium
#   make web-speed [WEB_DEPTH=6]      bench nodes/s: native Release, WebAssembly under node and in
#                                     Chromium, in one run
WEB_DIR := build-web
WASM_DIR := build-wasm
WEB_PORT ?= 8019
WEB_DEPTH ?= 6

.PHONY: web web-serve web-test web-speed
web:
	@./scripts/web/build-site $(WASM_DIR) $(WEB_DIR) $(JOBS)

web-serve: web
	@node web/serve.mjs $(WEB_DIR) $(WEB_PORT)

web-test: deps web
	@cmake -S . -B $(SANITIZE_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLOMAR_SANITIZE=ON >/dev/null
	@cmake --build $(SANITIZE_DIR) -j $(JOBS) --target test_frontend test_games test_uci \
		quillomar-bench quillomar-perft
	@./scripts/web/web-test $(WEB_DIR) $(WASM_DIR) $(SANITIZE_DIR)

web-speed: release web
	@./scripts/ensure-packages chromium
	@node web/speed.mjs $(RELEASE_DIR)/quillomar-bench $(WASM_DIR) $(WEB_DEPTH)
