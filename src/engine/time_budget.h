// The time budget for the engine's next move, in centiseconds.
#pragma once

namespace qm {

// One second of the clock kept in reserve.
inline constexpr double kReserveCs = 100.0;
// Budget when the GUI has sent no clock at all.
inline constexpr double kNoClockBudgetCs = 500.0;

// clockCs: centiseconds left on the engine's clock; levelMoves: moves per period (0 for
// sudden death or incremental); gamePly: number of the half-move in play; incrementCs: the
// increment per move. With moves per period and more than the reserve on the clock, the
// remaining time is shared evenly over the moves left in the period. Otherwise about a
// thirtieth of the clock above a reserve plus most of the increment, and never more than a
// tenth of the clock.
double moveBudget(double clockCs, double levelMoves, int gamePly, double incrementCs);

// Budget with movesToGo moves to play until the clock gets more time (0 for sudden death or
// increment): the time control's rule at the first move of a period of that many moves.
double budgetForMovesToGo(double clockCs, double movesToGo, double incrementCs);

// Budget for a fixed time per move: the time less a margin for the process and the pipes
// (5% and 5 cs), never less than half of it.
double fixedMoveBudget(double perMoveCs);

}  // namespace qm
