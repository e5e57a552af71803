// The buffered file layer against a plain in-memory model of the file, and
// chunk writing.
#include <gtest/gtest.h>

#include <random>

#include "audio/formats/riff.h"
#include "audio/formats/tests/wave_bytes.h"
#include "testsupport/scratch_dir.h"

using namespace murrel;
using namespace murrel::wavetest;

namespace {

TEST(RiffFile, MixedReadsWritesAndSeeksMatchAModel) {
    testsupport::ScratchDir dir;
    std::mt19937 rng(1234);
    RiffFile f;
    ASSERT_TRUE(f.open(dir.file("m.bin"), RiffFile::Mode::Create));
    ASSERT_TRUE(f.set_buffer(8192));
    Bytes model;
    int64_t pos = 0;
    for (int op = 0; op < 3000; ++op) {
        int kind = int(rng() % 10);
        // Mostly tiny pieces, sometimes more than the buffer holds.
        int64_t n = rng() % 4 == 0 ? int64_t(rng() % 30000) : int64_t(rng() % 9);
        if (kind < 5) {
            Bytes b(static_cast<size_t>(n));
            for (auto& x : b) x = uint8_t(rng());
            if (n == 2 || n == 4) {
                uint8_t *begin, *end;
                ASSERT_TRUE(f.write_window(begin, end));
                if (end - begin >= n) {
                    std::copy(b.begin(), b.end(), begin);
                    f.commit_window(begin + n);
                } else {
                    ASSERT_EQ(f.write(b.data(), n), n);
                }
            } else {
                ASSERT_EQ(f.write(b.data(), n), n);
            }
            if (int64_t(model.size()) < pos + n) model.resize(size_t(pos + n));
            std::copy(b.begin(), b.end(), model.begin() + pos);
            pos += n;
        } else if (kind < 8) {
            Bytes b(static_cast<size_t>(n) + 1, 0xEE);
            int64_t got = f.read(b.data(), n);
            int64_t want = std::clamp<int64_t>(int64_t(model.size()) - pos, 0, n);
            ASSERT_EQ(got, want) << "op " << op;
            ASSERT_TRUE(std::equal(b.begin(), b.begin() + got, model.begin() + pos)) << "op " << op;
            pos += got;
        } else {
            pos = int64_t(rng() % (model.size() + 10));
            // Past the end too: a write there leaves a hole of zeros, as in the model.
            ASSERT_TRUE(f.seek(pos));
        }
        ASSERT_EQ(f.tell(), pos);
    }
    ASSERT_EQ(f.size(), int64_t(model.size()));
    ASSERT_TRUE(f.close());
    EXPECT_EQ(ReadFile(dir.file("m.bin")), model);
}

TEST(RiffFile, ChunksGetTheirSizesAndAPadByte) {
    testsupport::ScratchDir dir;
    RiffFile f;
    ASSERT_TRUE(f.open(dir.file("c.bin"), RiffFile::Mode::Create));
    RiffChunk riff, odd, even;
    ASSERT_TRUE(f.create_chunk(riff, FourCC('R', 'I', 'F', 'F'), FourCC('W', 'A', 'V', 'E')));
    ASSERT_TRUE(f.create_chunk(odd, FourCC('o', 'd', 'd', ' ')));
    ASSERT_TRUE(f.write("abc", 3) == 3);
    ASSERT_TRUE(f.ascend(odd));
    ASSERT_TRUE(f.create_chunk(even, FourCC('e', 'v', 'e', 'n')));
    ASSERT_TRUE(f.write("ab", 2) == 2);
    ASSERT_TRUE(f.ascend(even));
    ASSERT_TRUE(f.ascend(riff));
    ASSERT_TRUE(f.close());
    Bytes expect = Riff(Cat({Chunk("odd ", Bytes{'a', 'b', 'c'}), Chunk("even", Bytes{'a', 'b'})}));
    EXPECT_EQ(ReadFile(dir.file("c.bin")), expect);
    EXPECT_EQ(odd.size, 3u);

    ASSERT_TRUE(f.open(dir.file("c.bin"), RiffFile::Mode::Read));
    RiffChunk h;
    ASSERT_TRUE(f.read_chunk_header(0, h));
    EXPECT_EQ(h.form_type, FourCC('W', 'A', 'V', 'E'));
    EXPECT_EQ(h.data_offset, 12);
    ASSERT_TRUE(f.read_chunk_header(24, h));
    EXPECT_EQ(FourCCText(h.id), "even");
    EXPECT_FALSE(f.read_chunk_header(int64_t(expect.size()) - 4, h));
    EXPECT_EQ(f.write("x", 1), -1);  // opened for reading
}

TEST(RiffFile, ExclusiveCreateRefusesAnExistingNameAndPlainCreateStartsItEmpty) {
    testsupport::ScratchDir dir;
    WriteFile(dir.file("e"), Bytes{1});
    RiffFile f;
    EXPECT_FALSE(f.open(dir.file("e"), RiffFile::Mode::Create, true));
    EXPECT_EQ(f.errno_value(), EEXIST);
    EXPECT_EQ(ReadFile(dir.file("e")), Bytes{1});
    EXPECT_FALSE(f.open(dir.path().string(), RiffFile::Mode::Read));
    // Over a longer file: nothing of the old one stays behind the new bytes.
    WriteFile(dir.file("old"), Bytes(5000, 7));
    ASSERT_TRUE(f.open(dir.file("old"), RiffFile::Mode::Create));
    EXPECT_EQ(f.size(), 0);
    ASSERT_EQ(f.write("ab", 2), 2);
    ASSERT_TRUE(f.close());
    EXPECT_EQ(ReadFile(dir.file("old")), (Bytes{'a', 'b'}));
    // Over an empty one (a reserved name) and a new one alike.
    WriteFile(dir.file("empty"), Bytes{});
    for (const char* name : {"empty", "new"}) {
        ASSERT_TRUE(f.open(dir.file(name), RiffFile::Mode::Create)) << name;
        ASSERT_EQ(f.write("c", 1), 1);
        ASSERT_TRUE(f.close());
        EXPECT_EQ(ReadFile(dir.file(name)), Bytes{'c'}) << name;
    }
}

}  // namespace
