#pragma once
// TMMEnvelope as data: the gain points a user edits, x in sample frames and y
// a gain (16384 = unity), inside a range. Points are kept strictly increasing
// in x, the first at RangeMinX and the last at RangeMaxX. Observers (the
// document component, views) are told after every change through the
// TMMObject observers; those that keep a reference also register for the
// envelope's destruction.
#include <cstdint>
#include <functional>
#include <vector>

#include "audio/formats/mmwave_object.h"

namespace murrel {

struct TMMEnvelopePoint {
    int64_t x = 0;
    int32_t y = 0;
    bool selected = false;
    bool operator==(const TMMEnvelopePoint&) const = default;
};

class TMMEnvelope : public TMMObject {
public:
    // A fresh envelope: range X 0..1000, Y 0..32768, BaseY 16384, and the two
    // end points at BaseY.
    TMMEnvelope();
    ~TMMEnvelope() override;

    const std::vector<TMMEnvelopePoint>& Points() const { return points_; }
    int64_t Count() const { return int64_t(points_.size()); }

    int64_t RangeMinX() const { return min_x_; }
    int64_t RangeMaxX() const { return max_x_; }
    int32_t RangeMinY() const { return min_y_; }
    int32_t RangeMaxY() const { return max_y_; }
    int32_t BaseY() const { return base_y_; }
    void SetBaseY(int32_t y) { base_y_ = y; }

    // Whether the end points take part in value changes (Scale).
    bool MoveFirstPoint = true;
    bool MoveLastPoint = true;

    // Accepted only strictly between the first and last point and at an x no
    // point has (a list of 0 or 1 points takes anything). With `interpolate`
    // y becomes the value on the line between the neighbours. Returns the
    // index, or -1 when refused.
    int64_t AddPoint(int64_t x, int32_t y, bool interpolate = false);
    // Inner points only; false for the end points or a bad index.
    bool DeletePoint(int64_t index);
    // Sets y of one point, clamped to the Y range.
    void SetPointY(int64_t index, int32_t y);
    // Only inner points remain removed; the ends go to BaseY.
    void Reset();
    // Every y := BaseY.
    void SetAllToBase();
    // Multiplies the taking-part points by f, limited so that every y stays
    // within the Y range; nothing happens when the limited factor is 1.0.
    void Scale(double f);
    // Moves the ends to the new X range and maps every inner x and every y
    // linearly from the old ranges to the new ones.
    void SetRange(int64_t min_x, int64_t max_x, int32_t min_y, int32_t max_y);
    // The gain at x on the line through the neighbouring points (BaseY
    // outside the points or with none).
    int32_t GainAt(int64_t x) const;
    // value × gain / 16384 (unity), saturated to 16 bits.
    static int16_t Apply(int16_t value, int32_t gain);
    // Replaces all points (used when restoring a document); no checks.
    void SetPoints(std::vector<TMMEnvelopePoint> points);

    // Called once when the envelope is destroyed (component notification).
    int AddFreeNotification(std::function<void()> callback);
    void RemoveFreeNotification(int id);

private:
    std::vector<TMMEnvelopePoint> points_;
    int64_t min_x_ = 0, max_x_ = 1000;
    int32_t min_y_ = 0, max_y_ = 32768, base_y_ = 16384;
    std::vector<std::pair<int, std::function<void()>>> free_notify_;
    int next_free_id_ = 1;
};

// A view's reference to an envelope it does not own: told of the envelope's
// changes, and set to none when the envelope is destroyed first.
class TMMEnvelopeLink {
public:
    TMMEnvelopeLink() = default;
    TMMEnvelopeLink(const TMMEnvelopeLink&) = delete;
    TMMEnvelopeLink& operator=(const TMMEnvelopeLink&) = delete;
    ~TMMEnvelopeLink() { Drop(); }

    // `changed` after every complete change, `freed` after the envelope has
    // gone (the link already holds none).
    void Set(TMMEnvelope* envelope, std::function<void()> changed, std::function<void()> freed);
    void Drop();
    TMMEnvelope* Get() const { return envelope_; }
    TMMEnvelope* operator->() const { return envelope_; }
    explicit operator bool() const { return envelope_ != nullptr; }

private:
    TMMEnvelope* envelope_ = nullptr;
    int observer_ = 0, free_ = 0;
};

}  // namespace murrel
