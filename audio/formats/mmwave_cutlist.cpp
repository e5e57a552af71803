#include "audio/formats/mmwave_cutlist.h"

#include <algorithm>

#include "audio/formats/mmwave_errors.h"

namespace murrel {

void TMMCutList::Check(int64_t index) const {
    if (index < 0 || index >= Count()) throw EMMListError(index);
}

const TMMCutRecord& TMMCutList::operator[](int64_t index) const {
    Check(index);
    return items_[size_t(index)];
}

bool TMMCutList::Add(const TMMCutRecord& record) {
    if (ContainingIndex(record.start) >= 0 || Count() >= kMaxCount) return false;
    int64_t at = std::max<int64_t>(InsertionIndex(record.start), 0);
    BeginUpdate();
    items_.insert(items_.begin() + at, record);
    EndUpdate();
    return true;
}

void TMMCutList::Delete(int64_t index) {
    Check(index);
    BeginUpdate();
    items_.erase(items_.begin() + index);
    EndUpdate();
}

void TMMCutList::Clear() {
    BeginUpdate();
    items_.clear();
    EndUpdate();
}

void TMMCutList::SetEntry(int64_t index, int64_t start, int64_t length) {
    Check(index);
    BeginUpdate();
    items_[size_t(index)].start = start;
    items_[size_t(index)].length = length;
    EndUpdate();
}

void TMMCutList::Assign(const TMMCutList& other) {
    if (&other == this) return;
    BeginUpdate();
    items_ = other.items_;
    EndUpdate();
}

int64_t TMMCutList::InsertionIndex(int64_t position) const {
    if (items_.empty()) return -1;
    auto it = std::upper_bound(items_.begin(), items_.end(), position,
                               [](int64_t p, const TMMCutRecord& r) { return p < r.start; });
    return it - items_.begin();
}

int64_t TMMCutList::ContainingIndex(int64_t position) const {
    int64_t i = InsertionIndex(position) - 1;
    if (i < 0) return -1;
    const TMMCutRecord& r = items_[size_t(i)];
    return (r.start <= position && position <= r.start + r.length - 1) ? i : -1;
}

}  // namespace murrel
