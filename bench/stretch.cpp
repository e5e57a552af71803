// Which time-stretch library keeps dictation sounding as spoken, and what the
// stretch costs during playback.
//
// Signals (made here, deterministic): speech-like test signals at 16 kHz mono,
// built as a glottal pulse train through three formant resonators whose
// vowels change every 180 ms, with a falling-rising intonation and 120 ms
// pauses between "words": a low voice (f0 around 110 Hz) and a high one
// (around 220 Hz), 20 s each. Nobody can listen here, so the comparison uses
// measures instead:
//  - pitch error: the median fundamental of the result against the source's,
//    each from a normalised autocorrelation over 40 ms frames (voiced frames
//    only), in percent;
//  - warble: the spread (standard deviation) of the frame-to-frame change of
//    that fundamental, result minus source, in percent: phasing and
//    repeated-pitch-period faults show as a jittery fundamental;
//  - spectral distortion: the log-spectral distance in dB between each 32 ms
//    frame of the result and the source frame at the same file time, over
//    voiced frames: smeared formants and metallic partials raise it;
//  - CPU: processing time of the library alone as a share of one core at
//    playing speed, fed in playback-sized blocks (576 samples in, as the
//    voice file's frames come).
// At 50 %, 75 % and 150 %, plus 200 % for the cost. Then the cost of the
// program's own TMMTimeStretch link at 50 % and 200 % against the same link
// passing audio through (plain playback) in the same run.
//
// Usage: stretch [--seconds N]   (default 20)
#include <rubberband/RubberBandStretcher.h>
#include <soundtouch/SoundTouch.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/devices/mmdsp_stretch.h"
#include "audio/formats/waveformat.h"

using namespace murrel;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kRate = 16000;

// ---------------------------------------------------------------- signals

struct Resonator {
    double a1 = 0, a2 = 0, b0 = 0, y1 = 0, y2 = 0;
    void set(double f, double bw) {
        const double r = std::exp(-kPi * bw / kRate);
        a1 = 2 * r * std::cos(2 * kPi * f / kRate);
        a2 = -r * r;
        b0 = 1 - r;
    }
    double step(double x) {
        const double y = b0 * x + a1 * y1 + a2 * y2;
        y2 = y1;
        y1 = y;
        return y;
    }
};

std::vector<float> speech_like(double f0_base, double seconds, unsigned seed) {
    // Formants of five vowels (F1, F2, F3), in turn.
    const double vowels[5][3] = {{730, 1090, 2440}, {270, 2290, 3010}, {530, 1840, 2480},
                                 {570, 840, 2410}, {300, 870, 2240}};
    const size_t n = static_cast<size_t>(seconds * kRate);
    std::vector<float> out(n);
    Resonator r[3];
    double phase = 0;
    uint32_t lcg = seed;
    auto noise = [&] {
        lcg = lcg * 1664525u + 1013904223u;
        return (lcg >> 8) / double(1 << 24) - 0.5;
    };
    for (size_t i = 0; i < n; ++i) {
        const double t = double(i) / kRate;
        const double word = std::fmod(t, 1.2);            // 1.08 s of voice, 0.12 s pause
        const int vowel = static_cast<int>(t / 0.18) % 5;
        if (i % 64 == 0)
            for (int k = 0; k < 3; ++k) r[k].set(vowels[vowel][k], 60 + 30 * k);
        const double f0 = f0_base * (1 + 0.12 * std::sin(2 * kPi * t / 1.2) - 0.05 * word);
        phase += f0 / kRate;
        double excitation = 0;
        if (phase >= 1) {
            phase -= 1;
            excitation = 1;
        }
        excitation += 0.02 * noise();
        const double env = word < 1.08 ? std::min(1.0, std::min(word, 1.08 - word) / 0.03) : 0;
        double y = 0;
        for (int k = 0; k < 3; ++k) y += r[k].step(excitation) * (k == 0 ? 1.0 : 0.6);
        out[i] = static_cast<float>(0.25 * env * y);
    }
    float peak = 0;
    for (float v : out) peak = std::max(peak, std::fabs(v));
    if (peak > 0)
        for (float& v : out) v *= 0.7f / peak;
    return out;
}

// ---------------------------------------------------------------- measures

// Fundamental of the 40 ms frame at `at`, 0 when unvoiced.
double frame_f0(const std::vector<float>& x, size_t at) {
    const size_t len = kRate * 40 / 1000;
    if (at + len + kRate / 60 >= x.size()) return 0;
    double energy = 0;
    for (size_t i = 0; i < len; ++i) energy += double(x[at + i]) * x[at + i];
    if (energy / len < 1e-4) return 0;
    // Normalised autocorrelation over the lags of 60–400 Hz.
    const int lo = kRate / 400, hi = kRate / 60;
    std::vector<double> r(hi + 2, 0.0);
    double best = 0;
    for (int lag = lo; lag <= hi + 1; ++lag) {
        double c = 0, e1 = 0, e2 = 0;
        for (size_t i = 0; i < len; ++i) {
            c += double(x[at + i]) * x[at + i + lag];
            e1 += double(x[at + i]) * x[at + i];
            e2 += double(x[at + i + lag]) * x[at + i + lag];
        }
        r[lag] = c / std::sqrt(e1 * e2 + 1e-12);
        if (lag <= hi) best = std::max(best, r[lag]);
    }
    if (best < 0.6) return 0;
    // The shortest period that correlates nearly as well as the best one: a
    // multiple of the period correlates as well, and must not be taken for it.
    for (int lag = lo + 1; lag <= hi; ++lag) {
        if (r[lag] >= 0.9 * best && r[lag] >= r[lag - 1] && r[lag] >= r[lag + 1]) {
            const double den = r[lag - 1] - 2 * r[lag] + r[lag + 1];
            const double shift = den != 0 ? 0.5 * (r[lag - 1] - r[lag + 1]) / den : 0;
            return double(kRate) / (lag + std::clamp(shift, -0.5, 0.5));
        }
    }
    return 0;
}

struct F0Track {
    double median = 0, jitter = 0;
};

F0Track f0_track(const std::vector<float>& x) {
    std::vector<double> f;
    std::vector<double> changes;
    double last = 0;
    for (size_t at = 0; at + kRate / 10 < x.size(); at += kRate / 100) {
        const double v = frame_f0(x, at);
        if (v > 0) {
            f.push_back(v);
            if (last > 0) changes.push_back(100 * (v / last - 1));
        }
        last = v;
    }
    F0Track t;
    if (f.empty()) return t;
    std::nth_element(f.begin(), f.begin() + f.size() / 2, f.end());
    t.median = f[f.size() / 2];
    double mean = 0;
    for (double c : changes) mean += c;
    mean /= std::max<size_t>(changes.size(), 1);
    double var = 0;
    for (double c : changes) var += (c - mean) * (c - mean);
    t.jitter = std::sqrt(var / std::max<size_t>(changes.size(), 1));
    return t;
}

// Magnitude spectrum (dB) of 512 samples at `at`, Hann window, plain DFT by FFT.
std::vector<double> spectrum_db(const std::vector<float>& x, size_t at) {
    constexpr size_t N = 512;
    std::vector<std::complex<double>> a(N);
    for (size_t i = 0; i < N; ++i)
        a[i] = (at + i < x.size() ? x[at + i] : 0.0f) * (0.5 - 0.5 * std::cos(2 * kPi * i / (N - 1)));
    for (size_t i = 1, j = 0; i < N; ++i) {
        size_t bit = N >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= N; len <<= 1) {
        const std::complex<double> w = std::polar(1.0, -2 * kPi / len);
        for (size_t i = 0; i < N; i += len) {
            std::complex<double> wn = 1;
            for (size_t k = 0; k < len / 2; ++k) {
                auto u = a[i + k], v = a[i + k + len / 2] * wn;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                wn *= w;
            }
        }
    }
    std::vector<double> db(N / 2);
    for (size_t k = 0; k < N / 2; ++k) db[k] = 10 * std::log10(std::norm(a[k]) + 1e-10);
    return db;
}

// Mean log-spectral distance between result frames and source frames at the
// same file time, voiced frames only, bins up to 4 kHz.
double spectral_distortion(const std::vector<float>& src, const std::vector<float>& out, double tempo) {
    double sum = 0;
    int frames = 0;
    for (size_t at = kRate / 5; at + 1024 < out.size(); at += kRate / 50) {
        const size_t src_at = static_cast<size_t>(at * tempo);
        if (src_at + 1024 >= src.size()) break;
        if (frame_f0(src, src_at) == 0) continue;
        const auto a = spectrum_db(src, src_at);
        const auto b = spectrum_db(out, at);
        double d = 0;
        const size_t bins = a.size() / 2;  // 0-4 kHz
        for (size_t k = 1; k < bins; ++k) d += (a[k] - b[k]) * (a[k] - b[k]);
        sum += std::sqrt(d / (bins - 1));
        ++frames;
    }
    return frames ? sum / frames : 0;
}

// ---------------------------------------------------------------- stretchers

using Stretcher = std::function<std::vector<float>(const std::vector<float>&, double tempo)>;

constexpr size_t kBlockIn = 576;  // one voice-file frame

std::vector<float> run_soundtouch(const std::vector<float>& in, double tempo, bool speech) {
    soundtouch::SoundTouch st;
    st.setChannels(1);
    st.setSampleRate(kRate);
    st.setTempo(tempo);
    if (speech) {
        st.setSetting(SETTING_USE_QUICKSEEK, 0);
        st.setSetting(SETTING_SEQUENCE_MS, 40);
        st.setSetting(SETTING_SEEKWINDOW_MS, 15);
        st.setSetting(SETTING_OVERLAP_MS, 8);
    }
    std::vector<float> out;
    out.reserve(static_cast<size_t>(in.size() / tempo) + kRate);
    std::vector<float> buf(4096);
    auto drain = [&] {
        for (unsigned n; (n = st.receiveSamples(buf.data(), static_cast<unsigned>(buf.size()))) > 0;)
            out.insert(out.end(), buf.begin(), buf.begin() + n);
    };
    for (size_t i = 0; i < in.size(); i += kBlockIn) {
        st.putSamples(in.data() + i, static_cast<unsigned>(std::min(kBlockIn, in.size() - i)));
        drain();
    }
    st.flush();
    drain();
    return out;
}

std::vector<float> run_rubberband(const std::vector<float>& in, double tempo, bool finer) {
    using RB = RubberBand::RubberBandStretcher;
    RB::Options o = RB::OptionProcessRealTime | RB::OptionPitchHighConsistency |
                    (finer ? RB::OptionEngineFiner : RB::OptionEngineFaster | RB::OptionTransientsSmooth);
    RB rb(kRate, 1, o, 1.0 / tempo, 1.0);
    rb.setMaxProcessSize(kBlockIn);
    std::vector<float> out;
    out.reserve(static_cast<size_t>(in.size() / tempo) + kRate);
    std::vector<float> buf(8192);
    float* outp[1] = {buf.data()};
    // Real-time mode starts late by the start delay: pad before, drop after.
    std::vector<float> pad(rb.getPreferredStartPad(), 0.0f);
    size_t to_drop = rb.getStartDelay();
    auto drain = [&] {
        for (int avail; (avail = rb.available()) > 0;) {
            size_t n = rb.retrieve(outp, std::min<size_t>(avail, buf.size()));
            size_t skip = std::min(to_drop, n);
            to_drop -= skip;
            out.insert(out.end(), buf.begin() + skip, buf.begin() + n);
        }
    };
    for (size_t i = 0; i < pad.size(); i += kBlockIn) {
        const float* p[1] = {pad.data() + i};
        rb.process(p, std::min(kBlockIn, pad.size() - i), false);
        drain();
    }
    for (size_t i = 0; i < in.size(); i += kBlockIn) {
        const float* p[1] = {in.data() + i};
        const size_t n = std::min(kBlockIn, in.size() - i);
        rb.process(p, n, i + n >= in.size());
        drain();
    }
    drain();
    return out;
}

double cpu_seconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

// ------------------------------------------------- the program's own link

// A source link that hands out the signal as 16-bit PCM, 1,152 bytes (one
// voice-file frame) per request.
class PcmSource : public TMMDSPComponent {
public:
    explicit PcmSource(const std::vector<float>& x) {
        pcm_.resize(x.size());
        for (size_t i = 0; i < x.size(); ++i) pcm_[i] = static_cast<int16_t>(std::lrint(x[i] * 32767));
    }
    void BufferLoad(TMMWaveHdr* hdr, bool& more) override {
        const size_t n = std::min<size_t>({kBlockIn, hdr->dwBufferLength / 2, pcm_.size() - pos_});
        std::memcpy(hdr->lpData, pcm_.data() + pos_, n * 2);
        pos_ += n;
        hdr->dwBytesRecorded = static_cast<uint32_t>(n * 2);
        more = pos_ < pcm_.size();
    }
    void rewind() { pos_ = 0; }

private:
    std::vector<int16_t> pcm_;
    size_t pos_ = 0;
};

// The link's CPU per second of output, driving BufferLoad as a device does.
double link_cost(PcmSource& source, int speed, double& output_seconds) {
    TMMTimeStretch stretch;
    TMMDSPComponent sink;  // stands where the device is: gives the format
    source.SetOutput(&stretch);
    stretch.SetOutput(&sink);
    const TWaveFormatEx f = MakePCMFormat(16, 1, kRate);
    source.SetWaveFormat(&f);
    stretch.SetEffectiveBufferSize(8000);
    stretch.SetSpeed(speed);
    stretch.Opened();
    source.rewind();
    stretch.Started();
    std::vector<char> data(8000);
    TMMWaveHdr hdr;
    hdr.lpData = data.data();
    size_t frames = 0;
    const double t0 = cpu_seconds();
    for (bool more = true; more;) {
        hdr.dwBufferLength = static_cast<uint32_t>(data.size());
        hdr.dwBytesRecorded = 0;
        stretch.BufferLoad(&hdr, more);
        frames += hdr.dwBytesRecorded / 2;
        if (hdr.dwBytesRecorded == 0) break;
    }
    const double cpu = cpu_seconds() - t0;
    stretch.Stopped();
    stretch.Closed();
    stretch.SetOutput(nullptr);
    source.SetOutput(nullptr);
    output_seconds = double(frames) / kRate;
    return cpu;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 20;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) seconds = std::atof(argv[++i]);
        else {
            std::fprintf(stderr, "usage: stretch [--seconds N]\n");
            return 2;
        }
    }
    struct Voice {
        const char* name;
        std::vector<float> signal;
    };
    std::vector<Voice> voices = {{"low voice (110 Hz)", speech_like(110, seconds, 1)},
                                 {"high voice (220 Hz)", speech_like(220, seconds, 2)}};
    struct Lib {
        const char* name;
        Stretcher run;
    };
    const std::vector<Lib> libs = {
        {"soundtouch 2.3 (speech settings)", [](const auto& in, double t) { return run_soundtouch(in, t, true); }},
        {"soundtouch 2.3 (defaults)", [](const auto& in, double t) { return run_soundtouch(in, t, false); }},
        {"rubberband 3.1 R2 (faster)", [](const auto& in, double t) { return run_rubberband(in, t, false); }},
        {"rubberband 3.1 R3 (finer)", [](const auto& in, double t) { return run_rubberband(in, t, true); }},
    };

    std::printf("time-stretch of speech-like signals, 16 kHz mono, %.0f s each, blocks of %zu samples\n\n",
                seconds, kBlockIn);
    std::printf("%-34s %-20s %6s %9s %9s %10s %9s %8s\n", "library", "signal", "speed", "length", "pitch",
                "warble", "spectral", "CPU");
    std::printf("%-34s %-20s %6s %9s %9s %10s %9s %8s\n", "", "", "%", "error %", "error %", "+% (sd)", "dist dB",
                "% core");
    for (const Lib& lib : libs) {
        for (const Voice& v : voices) {
            const F0Track src = f0_track(v.signal);
            for (int speed : {50, 75, 150, 200}) {
                const double tempo = speed / 100.0;
                const double t0 = cpu_seconds();
                std::vector<float> out = lib.run(v.signal, tempo);
                const double cpu = cpu_seconds() - t0;
                const double out_seconds = double(out.size()) / kRate;
                const double expected = v.signal.size() / tempo;
                const F0Track got = f0_track(out);
                const double pitch_err = src.median > 0 ? 100 * (got.median / src.median - 1) : 0;
                const double dist = speed == 200 ? NAN : spectral_distortion(v.signal, out, tempo);
                std::printf("%-34s %-20s %6d %+9.2f %+9.2f %10.2f %9.2f %8.3f\n", lib.name, v.name, speed,
                            100 * (out.size() / expected - 1), pitch_err, got.jitter - src.jitter, dist,
                            100 * cpu / out_seconds);
            }
        }
    }

    std::printf("\nthe program's TMMTimeStretch link, 16-bit PCM in voice-file frames, against plain playback\n");
    std::printf("(the same link passing through at 100 %%), low voice, CPU per second of output:\n");
    PcmSource source(voices[0].signal);
    double plain_out = 0;
    // Twice: the first run warms caches and the allocator for everyone.
    link_cost(source, 100, plain_out);
    const double plain = link_cost(source, 100, plain_out);
    std::printf("  %-22s %8.4f %% of one core\n", "plain playback (100 %)", 100 * plain / plain_out);
    for (int speed : {50, 200}) {
        double out_s = 0;
        const double cpu = link_cost(source, speed, out_s);
        std::printf("  %-22s %8.4f %% of one core (%.1f x plain, %.1f s of output)\n",
                    (std::to_string(speed) + " %").c_str(), 100 * cpu / out_s, plain > 0 ? cpu / out_s / (plain / plain_out) : 0,
                    out_s);
    }
    return 0;
}
