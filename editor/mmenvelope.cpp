#include "editor/mmenvelope.h"

#include <algorithm>
#include <cmath>

namespace murrel {

TMMEnvelope::TMMEnvelope() {
    points_ = {{min_x_, base_y_, false}, {max_x_, base_y_, false}};
}

TMMEnvelope::~TMMEnvelope() {
    auto callbacks = std::move(free_notify_);
    for (auto& [id, cb] : callbacks)
        if (cb) cb();
}

int TMMEnvelope::AddFreeNotification(std::function<void()> callback) {
    free_notify_.emplace_back(next_free_id_, std::move(callback));
    return next_free_id_++;
}

void TMMEnvelope::RemoveFreeNotification(int id) {
    std::erase_if(free_notify_, [id](const auto& p) { return p.first == id; });
}

int64_t TMMEnvelope::AddPoint(int64_t x, int32_t y, bool interpolate) {
    auto it = std::lower_bound(points_.begin(), points_.end(), x,
                               [](const TMMEnvelopePoint& p, int64_t v) { return p.x < v; });
    if (points_.size() >= 2) {
        if (x <= points_.front().x || x >= points_.back().x) return -1;
        if (it != points_.end() && it->x == x) return -1;
    }
    const int64_t at = it - points_.begin();
    if (interpolate && at > 0 && at < Count()) y = GainAt(x);
    BeginUpdate();
    points_.insert(points_.begin() + at, {x, y, false});
    EndUpdate();
    return at;
}

bool TMMEnvelope::DeletePoint(int64_t index) {
    if (index <= 0 || index >= Count() - 1) return false;
    BeginUpdate();
    points_.erase(points_.begin() + index);
    EndUpdate();
    return true;
}

void TMMEnvelope::SetPointY(int64_t index, int32_t y) {
    if (index < 0 || index >= Count()) return;
    BeginUpdate();
    points_[size_t(index)].y = std::clamp(y, min_y_, max_y_);
    EndUpdate();
}

void TMMEnvelope::Reset() {
    BeginUpdate();
    if (points_.size() > 2) points_.erase(points_.begin() + 1, points_.end() - 1);
    for (TMMEnvelopePoint& p : points_) p.y = base_y_;
    EndUpdate();
}

void TMMEnvelope::SetAllToBase() {
    BeginUpdate();
    for (TMMEnvelopePoint& p : points_) p.y = base_y_;
    EndUpdate();
}

void TMMEnvelope::Scale(double f) {
    const size_t first = MoveFirstPoint ? 0 : 1;
    const size_t end = points_.size() - (MoveLastPoint || points_.empty() ? 0 : 1);
    for (size_t i = first; i < end; ++i) {
        const int32_t y = points_[i].y;
        if (y > 0) {
            f = std::min(f, double(max_y_) / y);
            f = std::max(f, double(min_y_) / y);
        } else if (y < 0) {
            f = std::min(f, double(min_y_) / y);
            f = std::max(f, double(max_y_) / y);
        }
    }
    if (f == 1.0 || first >= end) return;
    BeginUpdate();
    for (size_t i = first; i < end; ++i) {
        // Round half to even, the platform's rounding of the original.
        const double v = std::nearbyint(f * points_[i].y);
        points_[i].y = int32_t(std::clamp<double>(v, min_y_, max_y_));
    }
    EndUpdate();
}

void TMMEnvelope::SetRange(int64_t min_x, int64_t max_x, int32_t min_y, int32_t max_y) {
    const int64_t old_min_x = min_x_, old_w = max_x_ - min_x_, new_w = max_x - min_x;
    const int64_t old_min_y = min_y_, old_h = int64_t(max_y_) - min_y_, new_h = int64_t(max_y) - min_y;
    BeginUpdate();
    for (size_t i = 0; i < points_.size(); ++i) {
        TMMEnvelopePoint& p = points_[i];
        if (i == 0) p.x = min_x;
        else if (i + 1 == points_.size()) p.x = max_x;
        // An empty old range has no proportions to keep: inner points go to
        // the start rather than dividing by zero.
        else p.x = std::clamp(old_w > 0 ? min_x + int64_t(__int128(p.x - old_min_x) * new_w / old_w) : min_x,
                              min_x, std::max(min_x, max_x));
        p.y = int32_t(old_h > 0 ? min_y + (p.y - old_min_y) * new_h / old_h : min_y);
    }
    min_x_ = min_x;
    max_x_ = max_x;
    min_y_ = min_y;
    max_y_ = max_y;
    EndUpdate();
}

void TMMEnvelope::SetPoints(std::vector<TMMEnvelopePoint> points) {
    BeginUpdate();
    points_ = std::move(points);
    EndUpdate();
}

int32_t TMMEnvelope::GainAt(int64_t x) const {
    if (points_.empty() || x < points_.front().x || x > points_.back().x) return base_y_;
    auto hi = std::lower_bound(points_.begin(), points_.end(), x,
                               [](const TMMEnvelopePoint& p, int64_t v) { return p.x < v; });
    if (hi->x == x || hi == points_.begin()) return hi->y;
    const auto lo = hi - 1;
    return int32_t(lo->y + (int64_t(hi->y) - lo->y) * (x - lo->x) / (hi->x - lo->x));
}

int16_t TMMEnvelope::Apply(int16_t value, int32_t gain) {
    return int16_t(std::clamp<int64_t>(int64_t(value) * gain / 16384, -32768, 32767));
}

void TMMEnvelopeLink::Set(TMMEnvelope* envelope, std::function<void()> changed, std::function<void()> freed) {
    Drop();
    envelope_ = envelope;
    if (!envelope_) return;
    observer_ = envelope_->AddObserver([changed = std::move(changed)](ObjectEvent e) {
        if (e == ObjectEvent::Changed && changed) changed();
    });
    free_ = envelope_->AddFreeNotification([this, freed = std::move(freed)] {
        envelope_ = nullptr;
        if (freed) freed();
    });
}

void TMMEnvelopeLink::Drop() {
    if (!envelope_) return;
    envelope_->RemoveObserver(observer_);
    envelope_->RemoveFreeNotification(free_);
    envelope_ = nullptr;
}

}  // namespace murrel
