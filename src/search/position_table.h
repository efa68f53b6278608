// The position table: what earlier searches found about a position, by its 64-bit key. It gives
// the move to explore first (any entry of the position will do: the order of exploring never
// changes what a ply takes) and, only where a subtree's value cannot depend on the path to it,
// a bound that ends a ply at once (see search.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>

namespace qm {

// Which side of the true value a stored score is, from White's point of view.
enum PositionBound : std::uint8_t {
    kBoundNone = 0,
    kBoundExact = 1,
    kBoundLower = 2,
    kBoundUpper = 3
};

struct PositionEntry {
    std::uint64_t key = 0;
    // Where the stored score may end a ply: the bits of the repetition key of the position, which
    // all the repetition tests below it start from, when the half-move clock stood at 0 there
    // (else the score is only kept for the move).
    std::uint64_t pathKey = 0;
    std::int32_t score = 0;
    std::uint16_t move = 0;  // from square | to square << 6 | promotion kind << 12; 0 none
    std::uint8_t turn = 0;   // the engine turn that stored it (its low bits)
    std::uint8_t iteration = 0;
    std::uint8_t ply = 0;
    std::uint8_t bound = kBoundNone;
    std::uint8_t pathFree = 0;  // 1 when pathKey is set
    std::uint8_t unused = 0;
};

static_assert(std::is_trivially_copyable_v<PositionEntry>);

class PositionTable {
  public:
    static constexpr std::size_t kWays = 2;  // entries a key may take

    // Sets the size (megabytes, rounded down to a power of two buckets, at least one) and
    // allocates the table, empty (a table of that size already there is kept as it is). The
    // memory comes zeroed from the system (page by page as it is first used, where the system
    // can), so a large table costs little until the search fills it.
    void setSize(std::size_t megabytes);
    std::size_t megabytes() const { return megabytes_; }

    // Allocates the table at its size when that has not been done yet.
    void prepare();

    // Forgets every entry.
    void clear();

    // The entry of `key`, or null.
    const PositionEntry* find(std::uint64_t key) const {
        if (!buckets_) return nullptr;
        const PositionEntry* bucket = buckets_.get() + (key & mask_) * kWays;
        for (std::size_t w = 0; w < kWays; ++w)
            if (bucket[w].key == key && bucket[w].bound != kBoundNone) return &bucket[w];
        return nullptr;
    }

    // Where to store an entry of `key` for a subtree of `remaining` nominal plies in turn `turn`:
    // its own entry, the bucket's first when the new subtree is at least as deep as the one kept
    // there (or that one is of an older turn), else the second.
    PositionEntry* slotFor(std::uint64_t key, std::uint8_t turn, int remaining);

  private:
    std::size_t megabytes_ = 32;
    std::size_t mask_ = 0;  // buckets - 1
    struct Release {
        void operator()(PositionEntry* p) const;
    };
    std::unique_ptr<PositionEntry[], Release> buckets_;
};

}  // namespace qm
