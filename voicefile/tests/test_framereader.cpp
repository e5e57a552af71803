// The frame reader on hand-made and encoder-made streams: bit reading, the
// frame search, the padding look-ahead and the end of the data.
#include <gtest/gtest.h>

#include "testsupport/scratch_dir.h"
#include "voicefile/framereader.h"
#include "voicefile/lamecoder.h"
#include "voicefile/tests/audio_fixtures.h"

using namespace murrel;

namespace {

// An MPEG stream of `frames` frames from our encoder for a codec type.
std::vector<uint8_t> encoded_stream(int codec_type, int blocks) {
    TLameCoder coder;
    setup_coder_for_mode(coder, codec_type);
    EXPECT_EQ(coder.PrepareEncoding(), BE_ERR_SUCCESSFUL);
    const std::vector<int16_t> pcm = testfix::speechlike(mp3_sample_rate(codec_type), blocks * 576.0 / mp3_sample_rate(codec_type));
    std::vector<uint8_t> out;
    uint32_t n = 0;
    for (int b = 0; b < blocks; ++b) {
        coder.EncodeBuffer(pcm.data() + b * 576, 576, coder.output_buffer().data(), n);
        out.insert(out.end(), coder.output_buffer().begin(), coder.output_buffer().begin() + n);
    }
    coder.FlushEncoding(coder.output_buffer().data(), n);
    out.insert(out.end(), coder.output_buffer().begin(), coder.output_buffer().begin() + n);
    coder.CloseEncoding();
    return out;
}

struct Found {
    int frame_length;
    int header_padding;
};

// Every frame the reader finds, with the padding bit of its header.
std::vector<Found> find_all(FrameReader& reader, const std::vector<uint8_t>& data) {
    MemorySource source(data);
    reader.reset();
    std::vector<Found> found;
    for (;;) {
        reader.state.header_error = 0;
        reader.find_frame(source);
        if (reader.at_end()) break;
        const int first = (reader.state.frame_start + 1) % kRingSize;
        const int third = reader.state.ring[(first + 2) % kRingSize];
        EXPECT_EQ(reader.state.ring[first], 0xFF);
        found.push_back({reader.state.frame_length, (third >> 1) & 1});
        if (found.size() > 100000) break;
    }
    return found;
}

}  // namespace

TEST(FrameReaderBits, ReadsMostSignificantFirstAcrossBytes) {
    const std::vector<uint8_t> data = {0xA5, 0x3C, 0xF0};
    MemorySource source(data);
    FrameReader r;
    r.reset();
    EXPECT_EQ(r.read_bits(4, source), 0xAu);
    EXPECT_EQ(r.read_bits(8, source), 0x53u);
    EXPECT_EQ(r.read_bit(source), 1);
    EXPECT_EQ(r.read_bits(3, source), 0x4u);
    EXPECT_EQ(r.read_bits(8, source), 0xF0u);
    EXPECT_EQ(r.state.bit_count, 24u);
    EXPECT_FALSE(r.at_end());
    EXPECT_EQ(r.read_bits(4, source), 0u);
    EXPECT_TRUE(r.at_end());
    EXPECT_EQ(r.read_bit(source), 0);
}

TEST(FrameReaderBits, ResetKeepsTheFillPositionSoANewStreamStartsAfterZeros) {
    const std::vector<uint8_t> first(1000, 0x77);
    MemorySource a(first);
    FrameReader r;
    r.reset();
    while (!r.at_end()) r.read_bits(8, a);
    EXPECT_EQ(r.state.write_index, 1000);
    r.reset();
    EXPECT_EQ(r.state.write_index, 1000);
    const std::vector<uint8_t> second = {0x12, 0x34};
    MemorySource b(second);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(r.read_bits(8, b), 0u) << i;
    EXPECT_EQ(r.read_bits(8, b), 0x12u);
    EXPECT_EQ(r.state.read_index, 1000);
}

TEST(FrameReader, FindsEveryFrameOfEachModeWithItsLength) {
    struct Row { int codec; int length; };
    for (Row row : {Row{5, 68}, Row{6, 140}, Row{7, 204}}) {
        SCOPED_TRACE(row.codec);
        const std::vector<uint8_t> stream = encoded_stream(row.codec, 40);
        FrameReader reader;
        const std::vector<Found> found = find_all(reader, stream);
        std::size_t total = 0;
        for (const Found& f : found) {
            // The look-ahead's padding agrees with the header's bit.
            EXPECT_EQ(f.frame_length, row.length + f.header_padding);
            total += static_cast<std::size_t>(f.frame_length) + 4;
        }
        // Every byte of the stream belongs to a frame found, the last one included.
        EXPECT_EQ(total, stream.size());
        EXPECT_EQ(reader.state.mode, 3);
        EXPECT_EQ(reader.state.id, 0);
        EXPECT_EQ(reader.state.layer, 3);
        EXPECT_EQ(reader.state.crc_present, 1);
    }
}

TEST(FrameReader, ShqMixesPaddedAndUnpaddedFrames) {
    const std::vector<Found> found = [] {
        FrameReader reader;
        return find_all(reader, encoded_stream(7, 60));
    }();
    int padded = 0, plain = 0;
    for (const Found& f : found) (f.frame_length == 205 ? padded : plain)++;
    // 72 × 64000 ÷ 22050 = 208.98 bytes a frame: mostly padded, now and then not.
    EXPECT_GT(padded, 40);
    EXPECT_GE(plain, 1);
}

TEST(FrameReader, TheLastFrameCountsOnlyWhenItIsComplete) {
    const std::vector<uint8_t> stream = encoded_stream(5, 20);
    const std::size_t frames = stream.size() / 72;
    ASSERT_EQ(stream.size() % 72, 0u);
    struct Case { const char* what; std::vector<uint8_t> data; std::size_t expected; };
    std::vector<uint8_t> cut = stream;
    cut.pop_back();
    std::vector<uint8_t> junk = stream;
    junk.push_back(0x00);
    std::vector<uint8_t> half_header = stream;
    half_header.insert(half_header.end(), {0xFF, 0xF3});
    const Case cases[] = {
        {"ends exactly after the last frame", stream, frames},
        {"last frame one byte short", cut, frames - 1},
        {"a stray byte after the last frame", junk, frames - 1},
        {"the next frame's first two bytes follow", half_header, frames},
        {"shorter than one frame", std::vector<uint8_t>(stream.begin(), stream.begin() + 60), 0},
    };
    for (const Case& c : cases) {
        FrameReader reader;
        EXPECT_EQ(find_all(reader, c.data).size(), c.expected) << c.what;
    }
}

TEST(FrameReader, APaddedLastFrameKeepsItsPaddingByte) {
    const std::vector<uint8_t> stream = encoded_stream(7, 30);
    FrameReader reader;
    const std::vector<Found> all = find_all(reader, stream);
    // Cut the stream after the last padded frame.
    std::size_t end = 0, cut_end = 0, count = 0, cut_count = 0;
    for (const Found& f : all) {
        end += static_cast<std::size_t>(f.frame_length) + 4;
        ++count;
        if (f.header_padding) {
            cut_end = end;
            cut_count = count;
        }
    }
    ASSERT_GT(cut_count, 0u);
    const std::vector<uint8_t> cut(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(cut_end));
    FrameReader again;
    const std::vector<Found> found = find_all(again, cut);
    ASSERT_EQ(found.size(), cut_count);
    EXPECT_EQ(found.back().frame_length, 205);
}

TEST(FrameReader, FalseSyncWordsBeforeAndInsideTheDataAreSkipped) {
    const std::vector<uint8_t> stream = encoded_stream(6, 10);
    std::vector<uint8_t> data = {0xFF, 0xF3, 0x54, 0xC4, 0x00, 0x11, 0xFF, 0xE0, 0x12};  // look like headers
    data.insert(data.end(), stream.begin(), stream.end());
    FrameReader reader;
    const std::vector<Found> found = find_all(reader, data);
    FrameReader plain;
    EXPECT_EQ(found.size(), find_all(plain, stream).size());
    EXPECT_EQ(found.front().frame_length, 140);
}

TEST(FrameReader, DecodesTheFramesItFindsWithTheDecoderLibrary) {
    const std::vector<uint8_t> stream = encoded_stream(5, 12);
    MemorySource source(stream);
    FrameReader reader;
    reader.reset();
    int frames = 0, samples = 0, channels = 0;
    bool first = true;
    while (!reader.at_end()) {
        int n = reader.decode_next_frame(source, first, channels);
        if (reader.at_end()) break;
        first = false;
        ++frames;
        samples += n;
        EXPECT_EQ(channels, 1);
        EXPECT_EQ(reader.state.sync_word, 0xFFF & reader.state.sync_word);
    }
    EXPECT_EQ(frames, static_cast<int>(stream.size() / 72));
    EXPECT_EQ(samples, frames * 576);
}

// Playback opens the file at its read position for every buffer and closes it
// again; the ring carries on between the openings.
TEST(FrameReader, ReopeningTheFileForEveryFrameFindsTheSameFrames) {
    const std::vector<uint8_t> stream = encoded_stream(7, 25);
    testsupport::ScratchDir dir;
    testfix::write_voice_file(dir.file("play.vkd"), 7, stream);

    FrameReader continuous;
    FileSource whole;
    ASSERT_TRUE(whole.open(dir.file("play.vkd")));
    continuous.reset();
    std::vector<int> expected;
    while (true) {
        continuous.find_frame(whole);
        if (continuous.at_end()) break;
        expected.push_back(continuous.state.frame_length);
    }

    FrameReader reader;
    reader.reset();
    uint64_t position = 512;  // playback seeks past the header
    std::vector<int> found;
    while (true) {
        FileSource once;
        ASSERT_TRUE(once.open(dir.file("play.vkd"), position));
        reader.find_frame(once);
        position = once.position();
        if (reader.at_end()) break;
        found.push_back(reader.state.frame_length);
    }
    EXPECT_EQ(found, expected);
    EXPECT_GE(found.size(), 26u);  // the flushed frames included
}

// A long run of bytes holding no frame: once cancel is set, the search gives
// up within 64 KiB instead of scanning to the end.
TEST(FrameReader, TheSearchMeetsACancelWithinSixtyFourKibibytes) {
    struct Counting final : ByteSource {
        explicit Counting(const std::vector<uint8_t>& d) : inner(d) {}
        std::size_t read(uint8_t* dst, std::size_t n) override {
            const std::size_t got = inner.read(dst, n);
            total += got;
            return got;
        }
        MemorySource inner;
        std::size_t total = 0;
    };
    const std::vector<uint8_t> zeros(8'000'000, 0);
    FrameReader reader;
    std::atomic<bool> cancel{true};
    reader.cancel = &cancel;
    Counting cancelled_source(zeros);
    reader.reset();
    reader.find_frame(cancelled_source);
    EXPECT_TRUE(reader.at_end());
    EXPECT_TRUE(reader.cancelled());
    EXPECT_LE(cancelled_source.total, FrameReader::kCancelCheckBytes + 2 * kFillSize);

    // Not cancelled, the same search reads everything; a reset forgets the cancel.
    cancel = false;
    Counting whole(zeros);
    reader.reset();
    EXPECT_FALSE(reader.cancelled());
    reader.find_frame(whole);
    EXPECT_TRUE(reader.at_end());
    EXPECT_FALSE(reader.cancelled());
    EXPECT_EQ(whole.total, zeros.size());

    // The rate of the frame found is the stream's own.
    const std::vector<uint8_t> shq = encoded_stream(7, 3);
    MemorySource source(shq);
    reader.reset();
    reader.find_frame(source);
    ASSERT_FALSE(reader.at_end());
    EXPECT_EQ(reader.frame_rate_hz(), 22050);
}
