#include "search/position_table.h"

#include <cstdlib>
#include <cstring>

namespace qm {

void PositionTable::Release::operator()(PositionEntry* p) const {
    std::free(p);
}

void PositionTable::setSize(std::size_t megabytes) {
    if (buckets_ && megabytes == megabytes_) return;
    megabytes_ = megabytes;
    buckets_.reset();
    prepare();
}

void PositionTable::prepare() {
    if (buckets_) return;
    std::size_t buckets = (megabytes_ << 20) / (sizeof(PositionEntry) * kWays);
    std::size_t power = 1;  // the largest power of two not above it
    while (power <= buckets / 2) power *= 2;
    buckets = power;
    // Every byte 0 is an empty entry (bound kBoundNone).
    buckets_.reset(
        static_cast<PositionEntry*>(std::calloc(buckets * kWays, sizeof(PositionEntry))));
    if (!buckets_) {
        buckets = 1;
        buckets_.reset(static_cast<PositionEntry*>(std::calloc(kWays, sizeof(PositionEntry))));
    }
    mask_ = buckets - 1;
}

void PositionTable::clear() {
    if (!buckets_) return;
    std::memset(static_cast<void*>(buckets_.get()), 0, (mask_ + 1) * kWays * sizeof(PositionEntry));
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
