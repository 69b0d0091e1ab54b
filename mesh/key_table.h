// key_table.h: a hash table from 64-bit keys to 32-bit values, open
// addressing with linear probing, sized once for the keys it will hold. The
// modelling operations use it for edges and weld cells. Private to mesh/.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <vector>

class KeyTable {
public:
    // Room for `keys` keys at most half full.
    explicit KeyTable(size_t keys)
    {
        const size_t slots = std::bit_ceil(std::max<size_t>(16, keys * 2));
        keys_.assign(slots, emptyKey);
        values_.resize(slots);
        mask_ = slots - 1;
        shift_ = 64 - std::countr_zero(slots);
    }

    // The value of key; a new key gets `fresh` and sets `inserted`.
    uint32_t& findOrInsert(uint64_t key, uint32_t fresh, bool& inserted)
    {
        size_t slot = home(key);
        while (keys_[slot] != key && keys_[slot] != emptyKey) slot = (slot + 1) & mask_;
        inserted = keys_[slot] == emptyKey;
        if (inserted) {
            keys_[slot] = key;
            values_[slot] = fresh;
        }
        return values_[slot];
    }

    // The value of key, or nothing.
    const uint32_t* find(uint64_t key) const
    {
        for (size_t slot = home(key);; slot = (slot + 1) & mask_) {
            if (keys_[slot] == key) return &values_[slot];
            if (keys_[slot] == emptyKey) return nullptr;
        }
    }

    // A key no caller uses: edges and cells pack into less than 64 bits.
    static constexpr uint64_t emptyKey = ~uint64_t{0};

private:
    size_t home(uint64_t key) const { return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> shift_); }

    std::vector<uint64_t> keys_;
    std::vector<uint32_t> values_;
    size_t mask_ = 0;
    int shift_ = 0;
};
