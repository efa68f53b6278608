// Start-up handshake and the main loop.
#pragma once

#include "search/engine_state.h"

namespace qm {

inline constexpr const char* kFeatureLine =
    "feature ping=1 setboard=1 playother=1 san=0 usermove=1 colors=0 time=1 draw=1 sigint=0 "
    "sigterm=0 reuse=1 analyze=0 myname=Quillomar variants=normal ics=1 name=0 pause=0 nps=0 "
    "debug=1 memory=0 smp=0 ";

// The author named in the banner and to UCI GUIs.
inline constexpr const char* kAuthor = "the Quillomar team";

// Waits for "xboard" then "protover", prints the banner, sets up every table and sends the
// features. Returns false when the input ended first.
bool handshake(EngineState& e);

// Sets up the tables without a handshake (tools and tests).
void initialiseEngine(EngineState& e);

// One pass of the main loop: a command, a pending opponent move, the engine's turn. Returns
// false once "quit" (or the end of input) has been read.
bool mainLoopPass(EngineState& e);

// The engine's turn with engineState 1: the clock is read into turnStartTime (and, when no
// "time" came since the engine's last move, timing starts from now), the pieces are renumbered
// and the driver runs.
void runEngineTurn(EngineState& e);

// The protocol is chosen by the first line: "uci" starts the UCI front end; anything else
// goes on with the xboard handshake (counting that line). Returns the exit status.
int runEngine(EngineState& e);

}  // namespace qm
