#include "engine/time_budget.h"

#include <algorithm>
#include <cmath>

namespace qm {

double moveBudget(double clockCs, double levelMoves, int gamePly, double incrementCs) {
    if (!std::isfinite(clockCs) || clockCs < 0.0) clockCs = 0.0;
    if (!std::isfinite(incrementCs) || incrementCs < 0.0) incrementCs = 0.0;
    const bool periods = std::isfinite(levelMoves) && levelMoves >= 1.0;

    double movesLeft = 30.0;
    if (periods) {
        double period = std::floor(gamePly / (2.0 * levelMoves));
        movesLeft = levelMoves * (period + 1.0) - std::floor(gamePly / 2.0);
        if (movesLeft < 1.0) movesLeft = 1.0;
        if (clockCs > kReserveCs) return (clockCs - kReserveCs) / movesLeft;
        movesLeft = std::min(movesLeft, 30.0);
    }

    const double reserve = std::min(kReserveCs, clockCs / 2.0);
    const double available = clockCs - reserve;
    double budget = available / movesLeft + 0.75 * incrementCs;
    budget = std::min(budget, clockCs / 10.0);
    return std::max(budget, 0.0);
}

double budgetForMovesToGo(double clockCs, double movesToGo, double incrementCs) {
    return moveBudget(clockCs, movesToGo, 1, incrementCs);
}

double fixedMoveBudget(double perMoveCs) {
    if (!std::isfinite(perMoveCs) || perMoveCs <= 0.0) return 0.0;
    return std::max(0.5 * perMoveCs, 0.95 * perMoveCs - 5.0);
}

}  // namespace qm
