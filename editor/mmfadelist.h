#pragma once
// TMMFadeList: gain points with a read cursor. A document's source list holds
// file sample frames; a wave's fade_list holds byte positions of the play
// stream. Gain 16384 is unity (factor value / 16384).
#include <cstdint>
#include <vector>

#include "audio/formats/mmwave_object.h"

namespace murrel {

struct TMMFadeRecord {
    int64_t position = 0;
    int32_t value = 0;
    int32_t gain_left = 0;
    int32_t gain_right = 0;
    int32_t extra = 0;
    bool operator==(const TMMFadeRecord&) const = default;
};

// Where a reader of the list stands: the next point, the play-stream byte
// position and the gains in effect there.
struct TMMFadeCursor {
    int64_t index = 0;
    int64_t byte_pos = 0;
    int32_t gain_left = 0;
    int32_t gain_right = 0;
};

class TMMFadeList : public TMMObject {
public:
    int64_t Count() const { return int64_t(items_.size()); }
    int64_t Capacity() const { return capacity_; }
    // Index outside 0..Count()-1 raises EMMListError.
    const TMMFadeRecord& operator[](int64_t index) const;
    const std::vector<TMMFadeRecord>& Items() const { return items_; }

    // Appends without sorting; false when the list is full.
    bool Add(const TMMFadeRecord& record);
    // Appends a point with `value` as its value and both gains.
    bool AddPoint(int64_t position, int32_t value);
    void Delete(int64_t index);
    void Clear();
    // Copies every record with `extra` cleared.
    void Assign(const TMMFadeList& other);

    // First point whose position is greater than `position`, or Count(); -1 on
    // an empty list.
    int64_t InsertionIndex(int64_t position) const;
    // The gain at `x` on the line through the points around it (the last ramp
    // continued past the end; 0 before the first point or where the
    // neighbours share a position). Truncated toward zero.
    int32_t InterpolatedGain(int64_t x) const;

    TMMFadeCursor cursor;

private:
    void Reserve();
    std::vector<TMMFadeRecord> items_;
    int64_t capacity_ = 0;
};

}  // namespace murrel
