#pragma once
// TMMMarkerList: named positions of a document, kept sorted by Offset, each
// with an ID unique within the list and optionally paired with another
// marker through NextID.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "audio/formats/mmwave_object.h"

namespace murrel {

struct TMMMarker {
    static constexpr size_t kNameMax = 80;
    static constexpr size_t kCommentMax = 255;

    int32_t ID = 0;
    int32_t NextID = 0;     // ID of the partner; 0 or less: unpaired
    int64_t Offset = 0;     // sample frames
    std::string Name;       // at most kNameMax bytes
    std::string Comment;    // at most kCommentMax bytes
    bool Fixed = false;
    bool Visible = true;
    int32_t Color = 0;      // 0x00FFFF marks a marker whose partner was left behind
    int32_t Flags = 0;
    bool operator==(const TMMMarker&) const = default;
};

class TMMMarkerList : public TMMObject {
public:
    static constexpr int32_t kOrphanColor = 0x00FFFF;

    int64_t Count() const { return int64_t(items_.size()); }
    int64_t Capacity() const { return capacity_; }
    // Index outside 0..Count()-1 raises EMMListError.
    const TMMMarker& operator[](int64_t index) const;
    const std::vector<TMMMarker>& Items() const { return items_; }

    // Inserts after the markers already at the same Offset; returns the
    // index, -1 when the list is full. Name and Comment are cut to their
    // limits.
    int64_t Add(TMMMarker marker);
    void Delete(int64_t index);
    void Clear();
    // Moves one marker, then re-sorts the list.
    void SetOffset(int64_t index, int64_t offset);
    // Copies the other list and re-sorts it.
    void Assign(const TMMMarkerList& other);

    // First marker whose Offset is greater than `offset`, or Count(); -1 on
    // an empty list.
    int64_t InsertionIndex(int64_t offset) const;
    // A marker exactly at `offset`, else -1.
    int64_t IndexAt(int64_t offset) const;
    // Index of the marker whose ID is marker `index`'s NextID, else -1.
    int64_t Partner(int64_t index) const;
    // A positive ID no marker of the list carries.
    int32_t NewID();

private:
    void Reserve();
    void Sort();
    std::vector<TMMMarker> items_;
    int64_t capacity_ = 0;
    std::mt19937 random_{std::random_device{}()};
};

}  // namespace murrel
