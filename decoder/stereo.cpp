// Middle/side and intensity stereo of one granule.
#include <cmath>
#include <cstring>

#include "decoder/decoder.h"
#include "decoder/tables.h"

namespace sonadyn {

namespace {

const double kMsScale = 0.707106782373095;
const double kPiOver12 = 0.2617993877991492;
constexpr int kNotIntensity = 7;

struct StereoRules {
    bool ms;
    bool intensity;
    bool mpeg1;
    double io;  // MPEG-2 intensity base
    const double* xr0;
    const double* xr1;
    double* lr0;
    double* lr1;

    void plain_or_ms(int from, int to) const {
        if (ms) {
            for (int i = from; i < to; ++i) {
                lr0[i] = (xr0[i] + xr1[i]) * kMsScale;
                lr1[i] = (xr0[i] - xr1[i]) * kMsScale;
            }
        } else {
            for (int i = from; i < to; ++i) {
                lr0[i] = xr0[i];
                lr1[i] = xr1[i];
            }
        }
    }

    // A band at or above the intensity start.
    void upper(int from, int to, int position) const {
        if (!intensity || position == kNotIntensity) {
            plain_or_ms(from, to);
            return;
        }
        double left = 0.0;
        double right = 0.0;
        if (mpeg1) {
            const double t = std::tan(position * kPiOver12);
            left = t / (1 + t);
            right = 1 / (1 + t);
            for (int i = from; i < to; ++i) {
                lr0[i] = xr0[i] * left;
                lr1[i] = xr0[i] * right;
            }
            return;
        }
        left = 1.0;
        right = 1.0;
        if (position & 1) {
            left = std::pow(io, (position + 1) / 2);
        } else if (position != 0) {
            right = std::pow(io, position / 2);
        }
        for (int i = from; i < to; ++i) {
            lr0[i] = left * xr0[i];
            lr1[i] = right * xr0[i];
        }
    }
};

bool band_is_empty(const double* xr1, int from, int to) {
    double sum = 0.0;
    for (int i = from; i < to; ++i) sum += xr1[i];
    return sum == 0.0;
}

}  // namespace

void Decoder::process_stereo(int gr) {
    if (channels_ == 1) {
        std::memcpy(lr_[0], xr_[0], sizeof lr_[0]);
        return;
    }
    const GranuleInfo& gi = side_[gr][0];
    StereoRules rules{};
    rules.ms = header_.mode == 1 && (header_.mode_extension & 2);
    rules.intensity = header_.mode == 1 && (header_.mode_extension & 1);
    rules.mpeg1 = header_.id != 0;
    rules.io = (gi.scalefac_compress & 1) ? std::pow(2.0, -0.25) : std::pow(2.0, -0.5);
    rules.xr0 = xr_[0];
    rules.xr1 = xr_[1];
    rules.lr0 = lr_[0];
    rules.lr1 = lr_[1];

    // Lines past both channels' last values stay 0 whatever the rule.
    const int end = xr_end_[0] > xr_end_[1] ? xr_end_[0] : xr_end_[1];
    xr_end_[0] = xr_end_[1] = end;
    if (!rules.intensity) {
        rules.plain_or_ms(0, 576);
        return;
    }

    const int16_t* lb = tables::kLongBands[rate_index_];
    const int16_t* sb = tables::kShortBands[rate_index_];
    const int16_t* pos_l = scalefac_l_[1];
    const int16_t(*pos_s)[13] = scalefac_s_[1];
    xr_end_[0] = xr_end_[1] = 576;

    auto short_window = [&](int w, int first_band, int start) {
        for (int sfb = first_band; sfb < 13; ++sfb) {
            const int width = sb[sfb + 1] - sb[sfb];
            const int from = 3 * sb[sfb] + w * width;
            if (sfb < start) {
                rules.plain_or_ms(from, from + width);
            } else {
                rules.upper(from, from + width, pos_s[w][sfb]);
            }
        }
    };
    auto short_start = [&](int w, int first_band) {
        for (int sfb = 12; sfb >= first_band; --sfb) {
            const int width = sb[sfb + 1] - sb[sfb];
            const int from = 3 * sb[sfb] + w * width;
            if (!band_is_empty(rules.xr1, from, from + width)) return sfb + 1;
        }
        return first_band;
    };
    auto long_start = [&](int last_band) {
        for (int sfb = last_band; sfb >= 0; --sfb) {
            if (!band_is_empty(rules.xr1, lb[sfb], lb[sfb + 1])) return sfb + 1;
        }
        return 1;
    };
    auto long_bands = [&](int start, int last_band) {
        for (int sfb = 0; sfb <= last_band; ++sfb) {
            if (sfb < start) {
                rules.plain_or_ms(lb[sfb], lb[sfb + 1]);
            } else {
                rules.upper(lb[sfb], lb[sfb + 1], pos_l[sfb]);
            }
        }
    };

    if (gi.block_type != 2) {
        long_bands(long_start(21), 21);
        return;
    }
    if (!gi.mixed_block_flag) {
        for (int w = 0; w < 3; ++w) {
            short_window(w, 0, short_start(w, 0));
        }
        return;
    }
    // Mixed block: long rules on the long part, short rules on the rest. The
    // long part is intensity-coded only when no window of the short part has
    // right-channel content.
    const int last_long = header_.id ? 7 : 5;
    const int long_end = lb[last_long + 1];
    int highest_short_start = 3;
    for (int w = 0; w < 3; ++w) {
        const int start = short_start(w, 3);
        if (start > highest_short_start) highest_short_start = start;
        short_window(w, 3, start);
    }
    if (highest_short_start > 3) {
        rules.plain_or_ms(0, long_end);
    } else {
        long_bands(long_start(last_long), last_long);
    }
}

}  // namespace sonadyn
