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

PositionEntry* PositionTable::slotFor(std::uint64_t key, std::uint8_t turn) {
    PositionEntry* bucket = buckets_.get() + (key & mask_) * kWays;
    PositionEntry* worst = bucket;
    int worstValue = 1 << 30;
    for (std::size_t w = 0; w < kWays; ++w) {
        PositionEntry& entry = bucket[w];
        if (entry.key == key || entry.bound == kBoundNone) return &entry;
        const int value = (entry.turn == turn ? 64 : 0) + entry.iteration - entry.ply;
        if (value < worstValue) {
            worstValue = value;
            worst = &entry;
        }
    }
    return worst;
}

}  // namespace qm
