#pragma once
// Finding a stretch of expected audio in a recording of what was heard: the
// normalised cross-correlation of `part` against `whole` at its best lag.
// Coarse-to-fine (a search on 4:1 averages, then the exact neighbourhood), so
// seconds of audio are matched in milliseconds.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace murrel::testsupport {

struct SignalMatch {
    double correlation = 0;  // 1 = the same waveform up to a gain
    size_t lag = 0;          // where `part` starts in `whole`
};

SignalMatch find_signal(const std::vector<int16_t>& whole, const std::vector<int16_t>& part);

// Root mean square of samples [from, from + count).
double rms(const std::vector<int16_t>& s, size_t from, size_t count);

}  // namespace murrel::testsupport
