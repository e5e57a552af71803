#pragma once
// Growth rule shared by the editor's growable lists: the capacity grows by 16
// records once it is 9 or more, by 4 while below 5, else by 8, and neither
// capacity nor count passes 0x7FFFFFF records.
#include <algorithm>
#include <cstdint>

namespace murrel {

inline constexpr int64_t kMaxListCount = 0x7FFFFFF;

inline int64_t GrowListCapacity(int64_t capacity) {
    const int64_t delta = capacity >= 9 ? 16 : capacity < 5 ? 4 : 8;
    return std::min(capacity + delta, kMaxListCount);
}

}  // namespace murrel
