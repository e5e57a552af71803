// What a WAV file being written looks like to another reader at any moment
// (a crash, kill -9, a full disk): its header covers the data on disk.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <iterator>

#include "audio/formats/mmwave.h"
#include "audio/formats/tests/wave_bytes.h"
#include "testsupport/scratch_dir.h"

using namespace murrel;
using namespace murrel::wavetest;

namespace {

struct OnDisk {
    uint32_t riff = 0, data = 0;
    size_t data_offset = 0, size = 0;
};

OnDisk read_header(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    Bytes b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    OnDisk d;
    d.size = b.size();
    if (b.size() < 12) return d;
    d.riff = Get32(b, 4);
    for (size_t o = 12; o + 8 <= b.size(); o += 8 + Get32(b, o + 4) + (Get32(b, o + 4) & 1)) {
        if (std::equal(b.begin() + long(o), b.begin() + long(o) + 4, "data")) {
            d.data = Get32(b, o + 4);
            d.data_offset = o + 8;
            break;
        }
    }
    return d;
}

constexpr int kRate = 16000;
constexpr size_t kBytesPerSecond = kRate * 2;

}  // namespace

TEST(WaveCrash, HeaderSizesFollowTheDataWhileAFileIsWritten) {
    testsupport::ScratchDir dir;
    const std::string path = dir.file("rec.wav");
    TMMWave w;
    w.CreateFile(path, MakePCMFormat(16, 1, kRate));
    int16_t s = 0;
    // Sample by sample (the fast path) and in larger blocks.
    for (size_t i = 0; i < 5 * kRate; ++i, ++s) ASSERT_EQ(w.WriteData(&s, 2), 2);
    std::vector<int16_t> block(kRate / 2, 7);
    for (int k = 0; k < 6; ++k) ASSERT_EQ(w.WriteData(block.data(), int64_t(block.size() * 2)), int64_t(block.size() * 2));
    const size_t written = 8 * kBytesPerSecond;

    OnDisk d = read_header(path);
    ASSERT_GT(d.data_offset, 0u);
    EXPECT_LE(d.data + d.data_offset, d.size);  // never more than is there
    EXPECT_GE(d.data, written - TMMWave::kHeaderSyncSeconds * kBytesPerSecond - 65536);
    EXPECT_EQ(d.riff + 8, d.data + d.data_offset);

    w.CloseFile();
    d = read_header(path);
    EXPECT_EQ(d.data, written);
}

TEST(WaveCrash, AFullDiskLeavesAFileWhoseHeaderDescribesWhatFitted) {
    testsupport::ScratchDir dir;
    const std::string path = dir.file("full.wav");
    constexpr rlim_t kLimit = 200000;
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit lim{kLimit, kLimit};
        ::setrlimit(RLIMIT_FSIZE, &lim);
        TMMWave w;
        w.CreateFile(path, MakePCMFormat(16, 1, kRate));
        std::vector<int16_t> block(4000, 100);
        bool refused = false;
        for (int k = 0; k < 100 && !refused; ++k) refused = w.WriteData(block.data(), 8000) != 8000;
        bool raised = false;
        try {
            w.CloseFile();
        } catch (const EMMWaveError&) {
            raised = true;
        }
        ::_exit(refused && raised ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the write or the closing did not fail";
    const OnDisk d = read_header(path);
    EXPECT_EQ(d.data + d.data_offset, d.size);
    EXPECT_EQ(d.riff + 8, d.size);
    EXPECT_GT(d.size, kLimit - 40000);
    EXPECT_EQ(d.data % 2, 0u);
    TMMWave back;
    back.SetFileName(path);
    EXPECT_EQ(back.DataSize(), int64_t(d.data / 2));
}

TEST(WaveCrash, AssignTakesTheSourcesPosition) {
    testsupport::ScratchDir dir;
    const std::string path = dir.file("a.wav");
    {
        TMMWave w;
        w.CreateFile(path, MakePCMFormat(16, 1, kRate));
        for (int16_t i = 0; i < 8000; ++i) w.WriteData(&i, 2);
        w.CloseFile();
    }
    TMMWave a;
    a.SetFileName(path);
    a.OpenFile();
    a.SetPosition(1234);
    TMMWave closed;
    closed.Assign(a);
    EXPECT_EQ(closed.Position(), 1234);
    closed.OpenFile();
    int16_t v = 0;
    ASSERT_EQ(closed.ReadData(&v, 2), 2);
    EXPECT_EQ(v, 1234);

    TMMWave open;
    open.SetFileName(path);
    open.OpenFile();
    a.SetPosition(4321);
    open.Assign(a);
    EXPECT_EQ(open.Position(), 4321);
    ASSERT_EQ(open.ReadData(&v, 2), 2);
    EXPECT_EQ(v, 4321);
}
