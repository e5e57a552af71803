#pragma once
// TMMCutList: sorted, non-overlapping ranges of sample frames. Serves as a
// document's cut list (ranges left out of the play stream, given to a wave with
// SetSkipList) and as a wave's play list (the segments actually read, in
// order, with their byte fields filled in the wave's effective format).
#include <cstdint>
#include <vector>

#include "audio/formats/mmwave_object.h"

namespace murrel {

struct TMMCutRecord {
    int64_t start = 0;         // first frame
    int64_t start_bytes = 0;   // start in bytes (play-list segments; 0 in cut lists)
    int64_t length = 0;        // frames
    int64_t length_bytes = 0;  // length in bytes (as start_bytes)
    int32_t extra = 0;         // carried along, 0 in every record the system makes

    int64_t end() const { return start + length; }
    bool operator==(const TMMCutRecord&) const = default;
};

class TMMCutList : public TMMObject {
public:
    static constexpr int64_t kMaxCount = 0x7FFFFFF;

    int64_t Count() const { return int64_t(items_.size()); }
    // Index outside 0..Count()-1 raises EMMListError.
    const TMMCutRecord& operator[](int64_t index) const;
    const std::vector<TMMCutRecord>& Items() const { return items_; }

    // Refuses (false, list unchanged) a record whose start lies inside an
    // existing entry, or when the list is full; otherwise inserts it at its
    // insertion index. The end of the new range is not checked against the
    // next entry.
    bool Add(const TMMCutRecord& record);
    void Delete(int64_t index);
    void Clear();
    // Sets start and length of one entry (no re-sorting).
    void SetEntry(int64_t index, int64_t start, int64_t length);
    void Assign(const TMMCutList& other);

    // First entry whose start is greater than `position`, or Count(); -1 when
    // the list is empty.
    int64_t InsertionIndex(int64_t position) const;
    // Entry with start <= position <= start + length - 1, else -1.
    int64_t ContainingIndex(int64_t position) const;

private:
    void Check(int64_t index) const;
    std::vector<TMMCutRecord> items_;
};

}  // namespace murrel
