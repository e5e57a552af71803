#include "editor/mmmarkerlist.h"

#include <algorithm>
#include <chrono>

#include "audio/formats/mmwave_errors.h"
#include "editor/mmlistcapacity.h"

namespace murrel {

namespace {
void clip(TMMMarker& m) {
    if (m.Name.size() > TMMMarker::kNameMax) m.Name.resize(TMMMarker::kNameMax);
    if (m.Comment.size() > TMMMarker::kCommentMax) m.Comment.resize(TMMMarker::kCommentMax);
}
}  // namespace

const TMMMarker& TMMMarkerList::operator[](int64_t index) const {
    if (index < 0 || index >= Count()) throw EMMListError(index);
    return items_[size_t(index)];
}

void TMMMarkerList::Reserve() {
    if (Count() < capacity_) return;
    capacity_ = GrowListCapacity(capacity_);
    items_.reserve(size_t(capacity_));
}

int64_t TMMMarkerList::Add(TMMMarker marker) {
    if (Count() >= kMaxListCount) return -1;
    clip(marker);
    const int64_t at = std::max<int64_t>(InsertionIndex(marker.Offset), 0);
    BeginUpdate();
    Reserve();
    items_.insert(items_.begin() + at, std::move(marker));
    EndUpdate();
    return at;
}

void TMMMarkerList::Delete(int64_t index) {
    if (index < 0 || index >= Count()) throw EMMListError(index);
    BeginUpdate();
    items_.erase(items_.begin() + index);
    EndUpdate();
}

void TMMMarkerList::Clear() {
    BeginUpdate();
    items_.clear();
    capacity_ = 0;
    EndUpdate();
}

void TMMMarkerList::SetOffset(int64_t index, int64_t offset) {
    if (index < 0 || index >= Count()) throw EMMListError(index);
    BeginUpdate();
    items_[size_t(index)].Offset = offset;
    Sort();
    EndUpdate();
}

void TMMMarkerList::Assign(const TMMMarkerList& other) {
    if (&other == this) return;
    BeginUpdate();
    items_ = other.items_;
    capacity_ = std::max(capacity_, Count());
    Sort();
    EndUpdate();
}

// Shell sort with the gaps 1, 4, 13, 40, … starting above count / 9. Not
// stable: markers sharing an Offset may change their order, as they always
// did in stored documents.
void TMMMarkerList::Sort() {
    const int64_t n = Count();
    int64_t h = 1;
    while (h <= n / 9) h = 3 * h + 1;
    for (; h > 0; h /= 3) {
        for (int64_t i = h; i < n; ++i) {
            TMMMarker v = std::move(items_[size_t(i)]);
            int64_t j = i;
            while (j >= h && items_[size_t(j - h)].Offset > v.Offset) {
                items_[size_t(j)] = std::move(items_[size_t(j - h)]);
                j -= h;
            }
            items_[size_t(j)] = std::move(v);
        }
    }
}

int64_t TMMMarkerList::InsertionIndex(int64_t offset) const {
    if (items_.empty()) return -1;
    auto it = std::upper_bound(items_.begin(), items_.end(), offset,
                               [](int64_t o, const TMMMarker& m) { return o < m.Offset; });
    return it - items_.begin();
}

int64_t TMMMarkerList::IndexAt(int64_t offset) const {
    auto it = std::lower_bound(items_.begin(), items_.end(), offset,
                               [](const TMMMarker& m, int64_t o) { return m.Offset < o; });
    return it != items_.end() && it->Offset == offset ? it - items_.begin() : -1;
}

int64_t TMMMarkerList::Partner(int64_t index) const {
    const TMMMarker& m = (*this)[index];
    if (m.NextID <= 0) return -1;
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].ID == m.NextID) return int64_t(i);
    return -1;
}

int32_t TMMMarkerList::NewID() {
    random_.seed(uint32_t(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::uniform_int_distribution<int32_t> draw(0, 2147483646);
    for (;;) {
        const int32_t id = draw(random_);
        if (id <= 0) continue;
        if (std::none_of(items_.begin(), items_.end(), [id](const TMMMarker& m) { return m.ID == id; }))
            return id;
    }
}

}  // namespace murrel
