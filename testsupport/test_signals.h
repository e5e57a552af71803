#pragma once
// Test signals whose every stretch is unlike every other, so that a piece of
// what was heard can be found in the original by its waveform alone.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace murrel::testsupport {

// A sine gliding linearly from `from_hz` to `to_hz` over `seconds`; with
// `swell` its loudness also rises and falls at 0.7 Hz (75–100 %), so that a
// match tells a gain change from a change of place.
inline std::vector<int16_t> glide(double from_hz, double to_hz, double seconds, int rate = 16000,
                                  double amplitude = 9000, bool swell = false) {
    std::vector<int16_t> s(static_cast<size_t>(rate * seconds));
    double phase = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / rate;
        phase += 2 * M_PI * (from_hz + (to_hz - from_hz) * double(i) / double(s.size())) / rate;
        const double gain = swell ? 0.75 + 0.25 * std::sin(2 * M_PI * 0.7 * t) : 1.0;
        s[i] = static_cast<int16_t>(amplitude * gain * std::sin(phase));
    }
    return s;
}

// Samples from `from_s` for `length_s` seconds (to the end at most).
inline std::vector<int16_t> part(const std::vector<int16_t>& s, double from_s, double length_s, int rate = 16000) {
    const size_t a = std::min(static_cast<size_t>(std::max(from_s, 0.0) * rate), s.size());
    const size_t n = static_cast<size_t>(std::max(length_s, 0.0) * rate);
    return {s.begin() + static_cast<long>(a), s.begin() + static_cast<long>(std::min(a + n, s.size()))};
}

}  // namespace murrel::testsupport
