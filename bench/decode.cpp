// Decoding speed of mp3_lib against the mpg123 command on the same streams:
// SP (16 kHz mono 16 kbit/s), HQ (16 kHz mono 32 kbit/s), SHQ (22.05 kHz mono
// 64 kbit/s) and 44.1 kHz joint stereo 128 kbit/s, each at least a minute.
//
// Usage: decode [FOLDER]
//   FOLDER holding sp.mp3, hq.mp3, shq.mp3 and js128.mp3 (for instance made by
//   the corpus script); without it the streams are made with sox and lame in a
//   temporary folder.
// Prints times-realtime for both decoders and mp3_lib's speed as a multiple of
// mpg123's (above 1 is faster). Both run single-threaded, the peer as a whole
// process writing 16-bit samples to /dev/null. Times are processor time (user
// plus system), so that other load on the machine does not distort the ratio.
// Five rounds alternate the two decoders; the figures are each one's best
// round, and "spread" is the lowest and highest ratio of single rounds.
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "testsupport/stream_feeder.h"

namespace {

namespace fs = std::filesystem;

double thread_cpu_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

struct Stream {
    const char* file;
    const char* label;
    const char* wav;
    const char* lame_args;
};

const Stream kStreams[] = {
    {"sp.mp3", "SP   16 kHz mono 16k", "in16k.wav", "-m m -b 16 -p"},
    {"hq.mp3", "HQ   16 kHz mono 32k", "in16k.wav", "-m m -b 32 -p"},
    {"shq.mp3", "SHQ  22 kHz mono 64k", "in22k.wav", "-m m -b 64 -p"},
    {"js128.mp3", "44.1 kHz j-stereo 128k", "in44k.wav", "-m j -b 128"},
};

bool run(const std::string& command) { return std::system(command.c_str()) == 0; }

// Ninety seconds of speech-like and musical material: noise bursts, tones,
// sweeps and clicks, so that both long and short blocks occur.
bool make_streams(const fs::path& dir) {
    const std::string d = dir.string();
    const std::string sox = "sox -R -V1 ";
    const char* rates[][2] = {{"16000", "1"}, {"22050", "1"}, {"44100", "2"}};
    const char* names[] = {"in16k.wav", "in22k.wav", "in44k.wav"};
    for (int i = 0; i < 3; ++i) {
        const std::string r = rates[i][0];
        const std::string c = rates[i][1];
        const std::string base = d + "/" + names[i];
        if (!run(sox + "-n -r " + r + " -c " + c + " -b 16 " + d + "/a.wav synth 30 pinknoise tremolo 4 80 "
                 "lowpass 3500 vol 0.4") ||
            !run(sox + "-n -r " + r + " -c " + c + " -b 16 " + d + "/b.wav synth 30 sine 200/3000 sine 440 "
                 "vol 0.3") ||
            !run(sox + "-n -r " + r + " -c " + c + " -b 16 " + d + "/k.wav synth 0.02 whitenoise fade 0 0.02 0.018 "
                 "pad 0 0.23 repeat 119") ||
            !run(sox + d + "/a.wav " + d + "/b.wav " + d + "/k.wav " + base + " norm -3"))
            return false;
    }
    // Twelve minutes of each stream: the encoded ninety seconds eight times
    // over, so that the peer's process start-up weighs little.
    for (const Stream& s : kStreams) {
        const std::string part = d + "/part.mp3";
        const std::string out = d + "/" + s.file;
        if (!run(std::string("lame --quiet -t ") + s.lame_args + " " + d + "/" + s.wav + " " + part)) return false;
        if (!run("cat " + part + " " + part + " " + part + " " + part + " > " + d + "/half.mp3") ||
            !run("cat " + d + "/half.mp3 " + d + "/half.mp3 > " + out))
            return false;
    }
    return true;
}

constexpr int kRounds = 5;

// One run of the whole peer process.
double time_peer(const std::string& path) {
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        if (!std::freopen("/dev/null", "w", stdout)) _exit(127);
        execlp("mpg123", "mpg123", "-q", "-s", path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return -1.0;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1.0;
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

// One decode of the stream held in memory.
double time_library(const std::vector<uint8_t>& bytes, const std::vector<sonadyn_test::FrameRef>& frames,
                    long long* checksum) {
    static sonadyn_test::FrameFeeder feeder;
    long long sum = 0;
    const double start = thread_cpu_seconds();
    bool first = true;
    for (const auto& f : frames) {
        sum += feeder.feed(&bytes[f.offset], f.length, first);
        sum += feeder.pcm()[100];
        first = false;
    }
    const double t = thread_cpu_seconds() - start;
    *checksum = sum;
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    fs::path dir;
    fs::path scratch;
    if (argc > 1) {
        dir = argv[1];
    } else {
        scratch = fs::temp_directory_path() / ("bench-decode-" + std::to_string(getpid()));
        fs::create_directories(scratch);
        std::printf("making the streams in %s\n", scratch.c_str());
        if (!make_streams(scratch)) {
            std::fprintf(stderr, "could not make the test streams (sox and lame needed)\n");
            fs::remove_all(scratch);
            return 1;
        }
        dir = scratch;
    }

    std::printf("%-24s %8s %12s %12s %8s  %s\n", "stream", "seconds", "mp3_lib x", "mpg123 x", "ratio", "spread");
    int status = 0;
    for (const Stream& s : kStreams) {
        const fs::path path = dir / s.file;
        const std::vector<uint8_t> bytes = sonadyn_test::read_file(path.string());
        const auto frames = sonadyn_test::split_frames(bytes);
        if (frames.empty()) {
            std::printf("%-24s missing or empty: %s\n", s.label, path.c_str());
            status = 1;
            continue;
        }
        const uint8_t* h = &bytes[frames[0].offset];
        const int per_frame = (h[1] & 0x08) ? 1152 : 576;
        const double audio = static_cast<double>(frames.size()) * per_frame / sonadyn_test::sample_rate_of(h);
        long long checksum = 0;
        double lib = 1e30;
        double peer = 1e30;
        double lowest = 1e30;
        double highest = 0.0;
        for (int round = 0; round < kRounds && peer >= 0; ++round) {
            const double l = time_library(bytes, frames, &checksum);
            const double p = time_peer(path.string());
            if (p < 0) {
                peer = -1.0;
                break;
            }
            if (l < lib) lib = l;
            if (p < peer) peer = p;
            if (p / l < lowest) lowest = p / l;
            if (p / l > highest) highest = p / l;
        }
        if (peer < 0) {
            std::printf("%-24s %8.1f %12.0f %12s %8s\n", s.label, audio, audio / lib, "n/a", "n/a");
            status = 1;
            continue;
        }
        std::printf("%-24s %8.1f %12.0f %12.0f %8.2f  %.2f-%.2f\n", s.label, audio, audio / lib, audio / peer,
                    peer / lib, lowest, highest);
    }
    if (!scratch.empty()) fs::remove_all(scratch);
    return status;
}
