#include "board/table.h"

#include <cstdio>
#include <cstdlib>

namespace qm {

void tableIndexFault(int index, int lo, int hi) {
    std::fprintf(stderr, "table index %d outside [%d..%d]\n", index, lo, hi);
    std::abort();
}

}  // namespace qm
