#pragma once
// Test helper: makes short streams with sox and lame in a scratch folder and
// decodes them with the mpg123 command as a peer (32-bit float samples, no
// gapless trimming, so that both outputs start with the first frame).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "testsupport/stream_feeder.h"

namespace sonadyn_test {

inline bool have_command(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

inline bool have_peer_tools() { return have_command("sox") && have_command("lame") && have_command("mpg123"); }

inline bool run_quietly(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// About three seconds of material at `rate` with `channels`: a noise bed with
// a tone (different per channel), clicks of white noise that force short
// blocks, and a sweep. `peak_db` is the normalisation peak (0 leads to some
// clipping after coding).
inline bool make_material(const std::string& dir, const std::string& wav, int rate, int channels, int peak_db = -1) {
    const std::string sox = "sox -R -V1 ";
    const std::string fmt = " -r " + std::to_string(rate) + " -c " + std::to_string(channels) + " -b 16 ";
    const std::string a = dir + "/part_a.wav";
    const std::string b = dir + "/part_b.wav";
    const std::string c = dir + "/part_c.wav";
    const std::string bed = channels == 2 ? "synth 1 pinknoise sine 440" : "synth 1 pinknoise";
    const std::string sweep = channels == 2 ? "synth 0.8 sine 100/6000 sawtooth 220" : "synth 0.8 sine 100/6000";
    return run_quietly(sox + "-n" + fmt + a + " " + bed + " tremolo 5 60") &&
           run_quietly(sox + "-n" + fmt + b + " synth 0.02 whitenoise fade 0 0.02 0.018 pad 0 0.15 repeat 6") &&
           run_quietly(sox + "-n" + fmt + c + " " + sweep) &&
           run_quietly(sox + a + " " + b + " " + c + " " + b + " " + wav + " norm " + std::to_string(peak_db));
}

inline std::vector<float> peer_decode(const std::string& mp3, const std::string& raw) {
    std::vector<float> samples;
    const std::string command = "mpg123 -q --no-gapless -e f32 -s " + mp3 + " > " + raw + " 2>/dev/null";
    if (std::system(command.c_str()) != 0) return samples;
    const std::vector<uint8_t> bytes = read_file(raw);
    samples.resize(bytes.size() / sizeof(float));
    if (!samples.empty()) std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
    return samples;
}

struct Difference {
    double rms_lsb = 0.0;
    double max_lsb = 0.0;
    size_t compared = 0;
};

// Compares from sample `from` on, leaving out samples the peer has at or beyond
// full scale (there the 16-bit output is clipped).
inline Difference compare(const std::vector<int16_t>& ours, const std::vector<float>& peer, size_t from = 0) {
    Difference d;
    double sum = 0.0;
    const size_t n = ours.size() < peer.size() ? ours.size() : peer.size();
    for (size_t i = from; i < n; ++i) {
        const double reference = 32768.0 * peer[i];
        if (reference >= 32767.0 || reference <= -32768.0) continue;
        const double diff = ours[i] - reference;
        sum += diff * diff;
        if (std::fabs(diff) > d.max_lsb) d.max_lsb = std::fabs(diff);
        ++d.compared;
    }
    if (d.compared) d.rms_lsb = std::sqrt(sum / static_cast<double>(d.compared));
    return d;
}

// Reads bits of a frame from a byte position on (header parsing in tests).
class BitReader {
public:
    BitReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    unsigned get(int bits) {
        unsigned v = 0;
        for (int i = 0; i < bits; ++i) {
            const size_t byte = pos_ / 8;
            const unsigned bit = byte < size_ ? (data_[byte] >> (7 - pos_ % 8)) & 1u : 0u;
            v = (v << 1) | bit;
            ++pos_;
        }
        return v;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

struct SideInfoSummary {
    int main_data_begin = 0;
    int short_granules = 0;
    int main_bytes = 0;  // main data carried by the frame itself
};

inline SideInfoSummary summarise_side_info(const uint8_t* frame, int length) {
    SideInfoSummary s;
    const bool mpeg1 = (frame[1] & 0x08) != 0;
    const bool crc = (frame[1] & 1) == 0;
    const int nch = (frame[3] >> 6) == 3 ? 1 : 2;
    const int side = mpeg1 ? (nch == 1 ? 17 : 32) : (nch == 1 ? 9 : 17);
    const int head = 4 + (crc ? 2 : 0);
    s.main_bytes = length - head - side;
    BitReader r(frame + head, static_cast<size_t>(side));
    s.main_data_begin = static_cast<int>(r.get(mpeg1 ? 9 : 8));
    r.get(mpeg1 ? (nch == 1 ? 5 : 3) : (nch == 1 ? 1 : 2));
    if (mpeg1) r.get(4 * nch);
    for (int gr = 0; gr < (mpeg1 ? 2 : 1); ++gr) {
        for (int ch = 0; ch < nch; ++ch) {
            r.get(12 + 9 + 8 + (mpeg1 ? 4 : 9));
            if (r.get(1)) {
                if (r.get(2) == 2) ++s.short_granules;
                r.get(1 + 10 + 9);
            } else {
                r.get(15 + 7);
            }
            r.get((mpeg1 ? 1 : 0) + 2);
        }
    }
    return s;
}

}  // namespace sonadyn_test
