#include "editor/mmfadelist.h"

#include <algorithm>

#include "audio/formats/mmwave_errors.h"
#include "editor/mmlistcapacity.h"

namespace murrel {

const TMMFadeRecord& TMMFadeList::operator[](int64_t index) const {
    if (index < 0 || index >= Count()) throw EMMListError(index);
    return items_[size_t(index)];
}

void TMMFadeList::Reserve() {
    if (Count() < capacity_) return;
    capacity_ = GrowListCapacity(capacity_);
    items_.reserve(size_t(capacity_));
}

bool TMMFadeList::Add(const TMMFadeRecord& record) {
    if (Count() >= kMaxListCount) return false;
    BeginUpdate();
    Reserve();
    items_.push_back(record);
    EndUpdate();
    return true;
}

bool TMMFadeList::AddPoint(int64_t position, int32_t value) {
    return Add({position, value, value, value, 0});
}

void TMMFadeList::Delete(int64_t index) {
    if (index < 0 || index >= Count()) throw EMMListError(index);
    BeginUpdate();
    items_.erase(items_.begin() + index);
    EndUpdate();
}

void TMMFadeList::Clear() {
    BeginUpdate();
    items_.clear();
    capacity_ = 0;
    cursor = {};
    EndUpdate();
}

void TMMFadeList::Assign(const TMMFadeList& other) {
    if (&other == this) return;
    BeginUpdate();
    items_ = other.items_;
    for (TMMFadeRecord& r : items_) r.extra = 0;
    capacity_ = std::max(capacity_, Count());
    EndUpdate();
}

int64_t TMMFadeList::InsertionIndex(int64_t position) const {
    if (items_.empty()) return -1;
    auto it = std::upper_bound(items_.begin(), items_.end(), position,
                               [](int64_t p, const TMMFadeRecord& r) { return p < r.position; });
    return it - items_.begin();
}

int32_t TMMFadeList::InterpolatedGain(int64_t x) const {
    int64_t i = InsertionIndex(x);
    if (i <= 0) return 0;
    i = std::min(i, Count() - 1);
    if (i <= 0) return 0;
    const TMMFadeRecord& a = items_[size_t(i - 1)];
    const TMMFadeRecord& b = items_[size_t(i)];
    if (a.position >= b.position) return 0;
    // 64-bit product; the ramp may be continued far past its end.
    const int64_t num = int64_t(b.value - a.value) * (x - a.position);
    const int64_t g = a.value + num / (b.position - a.position);
    return int32_t(std::clamp<int64_t>(g, INT32_MIN, INT32_MAX));
}

}  // namespace murrel
