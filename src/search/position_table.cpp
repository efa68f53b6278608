#include "search/position_table.h"

#include <bit>

namespace qm {

void PositionTable::setSize(std::size_t megabytes) {
    megabytes_ = megabytes;
}

bool PositionTable::prepare() {
    if (buckets_ && allocatedFor_ == megabytes_) return true;
    buckets_.reset();
    std::size_t buckets = (megabytes_ << 20) / (sizeof(PositionEntry) * kWays);
    buckets = buckets == 0 ? 1 : std::bit_floor(buckets);
    buckets_ = std::make_unique<PositionEntry[]>(buckets * kWays);
    mask_ = buckets - 1;
    allocatedFor_ = megabytes_;
    return true;
}

void PositionTable::clear() {
    if (!buckets_) return;
    for (std::size_t i = 0; i < (mask_ + 1) * kWays; ++i) buckets_[i] = PositionEntry{};
}

PositionEntry* PositionTable::slotFor(std::uint64_t key, std::uint8_t turn, int remaining) {
    // The first entry of a bucket keeps the deepest subtree of the turn, the second takes
    // whatever comes.
    PositionEntry* bucket = buckets_.get() + (key & mask_) * kWays;
    if (bucket[1].key == key && bucket[1].bound != kBoundNone) return &bucket[1];
    const PositionEntry& first = bucket[0];
    if (first.key == key || first.bound == kBoundNone || first.turn != turn ||
        remaining >= first.iteration - first.ply)
        return &bucket[0];
    return &bucket[1];
}

}  // namespace qm
