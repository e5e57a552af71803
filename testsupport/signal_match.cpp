#include "testsupport/signal_match.h"

#include <algorithm>
#include <cmath>

namespace murrel::testsupport {

namespace {

std::vector<double> to_double(const std::vector<int16_t>& s, size_t factor) {
    std::vector<double> out(s.size() / factor);
    for (size_t i = 0; i < out.size(); ++i) {
        double sum = 0;
        for (size_t k = 0; k < factor; ++k) sum += s[i * factor + k];
        out[i] = sum / factor;
    }
    return out;
}

// Best normalised correlation of `part` in `whole` over lags [from, to].
SignalMatch search(const std::vector<double>& whole, const std::vector<double>& part, size_t from, size_t to) {
    SignalMatch best;
    if (part.empty() || whole.size() < part.size()) return best;
    to = std::min(to, whole.size() - part.size());
    double pp = 0;
    for (double v : part) pp += v * v;
    if (pp <= 0) return best;
    for (size_t l = from; l <= to; ++l) {
        double wp = 0, ww = 0;
        for (size_t i = 0; i < part.size(); ++i) {
            wp += whole[l + i] * part[i];
            ww += whole[l + i] * whole[l + i];
        }
        if (ww <= 0) continue;
        const double c = wp / std::sqrt(ww * pp);
        if (c > best.correlation) best = {c, l};
    }
    return best;
}

}  // namespace

SignalMatch find_signal(const std::vector<int16_t>& whole, const std::vector<int16_t>& part) {
    constexpr size_t kFactor = 4;
    SignalMatch coarse = search(to_double(whole, kFactor), to_double(part, kFactor), 0, whole.size());
    const size_t centre = coarse.lag * kFactor;
    const size_t from = centre > 2 * kFactor ? centre - 2 * kFactor : 0;
    return search(to_double(whole, 1), to_double(part, 1), from, centre + 2 * kFactor);
}

double rms(const std::vector<int16_t>& s, size_t from, size_t count) {
    double sum = 0;
    size_t n = 0;
    for (size_t i = from; i < from + count && i < s.size(); ++i, ++n) sum += double(s[i]) * s[i];
    return n ? std::sqrt(sum / n) : 0;
}

}  // namespace murrel::testsupport
