// Fixed-size tables indexed with inclusive, possibly negative bounds, so that code reads
// like the engine's tables: pieceKind[-13], plyRecord[p][14], board[file][rank].
#pragma once

#include <array>
#include <cstring>
#include <type_traits>

#if !defined(NDEBUG) || defined(QUILLOMAR_CHECKED)
#define QUILLOMAR_TABLE_CHECKS 1
#else
#define QUILLOMAR_TABLE_CHECKS 0
#endif

namespace qm {

// Reports an index outside a table's bounds and aborts (checked builds only).
[[noreturn]] void tableIndexFault(int index, int lo, int hi);

template <typename T, int Lo, int Hi>
class Table {
    static_assert(Hi >= Lo, "a table needs at least one cell");

  public:
    static constexpr int lo = Lo;
    static constexpr int hi = Hi;
    static constexpr int size = Hi - Lo + 1;

    T& operator[](int i) {
        check(i);
        return cells_[static_cast<std::size_t>(i - Lo)];
    }
    const T& operator[](int i) const {
        check(i);
        return cells_[static_cast<std::size_t>(i - Lo)];
    }

    // Sets every cell (nested tables included) to zero.
    void clear() {
        static_assert(std::is_trivially_copyable_v<T>);
        std::memset(static_cast<void*>(cells_.data()), 0, sizeof(cells_));
    }

    bool operator==(const Table& other) const = default;

  private:
    static void check([[maybe_unused]] int i) {
#if QUILLOMAR_TABLE_CHECKS
        if (i < Lo || i > Hi) tableIndexFault(i, Lo, Hi);
#endif
    }

    std::array<T, size> cells_{};
};

}  // namespace qm
