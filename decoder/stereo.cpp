// Middle/side and intensity stereo of one granule.
#include <cmath>
#include <cstring>

#include "decoder/decoder.h"
#include "decoder/tables.h"

namespace sonadyn {

namespace {

const double kMsScale = 0.707106782373095;
const double kPiOver12 = 0.2617993877991492;
// The position MPEG-1 reserves for a band that is not intensity-coded.
constexpr int kMpeg1NotIntensity = 7;

// An intensity position and the value that marks its band as not coded.
struct Position {
    int value;
    int not_intensity;
};
// The band at the top of the spectrum, where intensity starts at the top band
// itself: no position was sent for it, 0 is used (never the marker).
constexpr Position kTopBandDefault{0, -1};

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
    void upper(int from, int to, Position p) const {
        const int position = p.value;
        if (!intensity || position == p.not_intensity) {
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
    // A single channel is taken from xr_ by the synthesis itself.
    if (channels_ == 1) return;
    const GranuleInfo& gi = side_[gr][0];
    StereoRules rules{};
    rules.ms = header_.mode == 1 && (header_.mode_extension & 2);
    rules.intensity = header_.mode == 1 && (header_.mode_extension & 1);
    rules.mpeg1 = header_.id != 0;
    // The base is signalled by the intensity-coded channel itself.
    rules.io = (side_[gr][1].scalefac_compress & 1) ? std::pow(2.0, -0.5) : std::pow(2.0, -0.25);
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
    const uint8_t* slen_l = slen_l_[1];
    const uint8_t* slen_s = slen_s_[1];
    const bool mpeg1 = rules.mpeg1;
    // The lower sampling frequencies mark a band by the largest value of the
    // width its scale factor was read with.
    auto long_position = [&](int sfb) {
        return Position{pos_l[sfb], mpeg1 ? kMpeg1NotIntensity : (1 << slen_l[sfb]) - 1};
    };
    auto short_position = [&](int w, int sfb) {
        return Position{pos_s[w][sfb], mpeg1 ? kMpeg1NotIntensity : (1 << slen_s[sfb]) - 1};
    };
    xr_end_[0] = xr_end_[1] = 576;

    // The top short band (12) has no scale factor: inside the intensity
    // region it follows the band below it.
    auto short_window = [&](int w, int first_band, int start) {
        for (int sfb = first_band; sfb < 13; ++sfb) {
            const int width = sb[sfb + 1] - sb[sfb];
            const int from = 3 * sb[sfb] + w * width;
            if (sfb < start) {
                rules.plain_or_ms(from, from + width);
            } else if (sfb < 12) {
                rules.upper(from, from + width, short_position(w, sfb));
            } else {
                rules.upper(from, from + width, start < 12 ? short_position(w, 11) : kTopBandDefault);
            }
        }
    };
    // The first band above the right channel's last content in a window; the
    // lowest band when the window is empty.
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
        return 0;
    };
    // Long bands up to last_band; band 21, the top one, has no scale factor
    // and follows band 20 inside the intensity region.
    auto long_bands = [&](int start, int last_band) {
        for (int sfb = 0; sfb <= last_band; ++sfb) {
            if (sfb < start) {
                rules.plain_or_ms(lb[sfb], lb[sfb + 1]);
            } else if (sfb < 21) {
                rules.upper(lb[sfb], lb[sfb + 1], long_position(sfb));
            } else {
                rules.upper(lb[sfb], lb[sfb + 1], start < 21 ? long_position(20) : kTopBandDefault);
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
