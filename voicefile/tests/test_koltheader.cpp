#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <vector>

#include "testsupport/scratch_dir.h"
#include "voicefile/fileinfo.h"
#include "voicefile/koltheader.h"

using namespace murrel;

namespace {

std::tm fixed_time() {
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;  // December
    t.tm_mday = 9;
    t.tm_hour = 17;
    t.tm_min = 4;
    t.tm_sec = 59;
    return t;
}

void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> voice_file(int codec_type, std::size_t stream_bytes) {
    KoltHeader h = make_encoding_header(codec_type, "/x/memo.vkd", fixed_time());
    std::vector<uint8_t> bytes(h.begin(), h.end());
    bytes.resize(bytes.size() + stream_bytes, 0x55);
    return bytes;
}

std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(ByteArrays, StoreAndReadBigEndianByWidth) {
    struct Case { uint32_t value; bool two; int last; std::vector<uint8_t> bytes; };
    const Case cases[] = {
        {0x12345678, false, 3, {0x12, 0x34, 0x56, 0x78}},
        {0x12345678, false, 2, {0x34, 0x56, 0x78, 0xEE}},
        {0x12345678, false, 1, {0x56, 0x78, 0xEE, 0xEE}},
        {0x12345678, true, 3, {0x56, 0x78, 0xEE, 0xEE}},  // the two-byte flag wins
        {0x12345678, false, 0, {0xEE, 0xEE, 0xEE, 0xEE}},
        {0x12345678, false, 4, {0xEE, 0xEE, 0xEE, 0xEE}},
    };
    for (const Case& c : cases) {
        uint8_t out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
        dwordtobytearray(c.value, out, c.two, c.last);
        EXPECT_EQ(std::vector<uint8_t>(out, out + 4), c.bytes) << c.last << c.two;
    }
    const uint8_t in[4] = {0x00, 0x00, 0x3E, 0x80};
    EXPECT_EQ(bytearraytodword(in, 3), 16000u);
    EXPECT_EQ(bytearraytodword(in, 2), 0x3Eu);
    EXPECT_EQ(bytearraytodword(in + 2, 1), 16000u);
    EXPECT_EQ(bytearraytodword(in, 0), 0u);
    EXPECT_EQ(bytearraytodword(in, 4), 0u);
}

TEST(KoltHeader, FixedFieldsFollowTheCodecTable) {
    struct Row { int type; const char* name; uint32_t bitrate; uint8_t mode; uint16_t rate; };
    const Row rows[] = {
        {1, "G723", 5300, 1, 8000},   {2, "G723", 6300, 2, 8000},    {3, "ADPCM", 32000, 1, 8000},
        {4, "ADPCM", 44100, 2, 12000}, {5, "MP3", 16000, 2, 16000},  {6, "MP3", 32000, 3, 16000},
        {7, "MP3", 64000, 4, 22050},  {0, "", 0, 0, 8000},           {8, "", 0, 0, 8000},
    };
    for (const Row& r : rows) {
        KoltHeader h{};
        make_koltfileheader(h.data(), r.type);
        EXPECT_EQ(std::memcmp(h.data(), "QRVM\0Ver1.00\0", 13), 0);
        EXPECT_EQ(h[16], r.type);
        EXPECT_EQ(h[33], r.mode) << r.type;
        EXPECT_EQ(bytearraytodword(h.data() + 34, 3), r.bitrate) << r.type;
        EXPECT_EQ(h[38], 16);
        EXPECT_EQ(bytearraytodword(h.data() + 39, 1), r.rate) << r.type;
        EXPECT_EQ(h[41], 1);
        EXPECT_STREQ(reinterpret_cast<const char*>(h.data() + 80), r.name);
        EXPECT_STREQ(reinterpret_cast<const char*>(h.data() + 96), "Murrelphonic");
    }
}

TEST(KoltHeader, CheckWantsMagicAndANonZeroCodecOnly) {
    KoltHeader h{};
    EXPECT_FALSE(kolt_filecheck(h.data()));
    std::memcpy(h.data(), "QRVM", 4);
    EXPECT_FALSE(kolt_filecheck(h.data()));
    h[16] = 3;
    EXPECT_TRUE(kolt_filecheck(h.data()));
    h[0] = 'q';
    EXPECT_FALSE(kolt_filecheck(h.data()));
}

TEST(KoltHeader, EncodingHeaderCarriesDateTitleAndExtensionInTheNamesCase) {
    KoltHeader h = make_encoding_header(6, "/out/Memo.Take2.VkD", fixed_time());
    EXPECT_EQ(std::vector<uint8_t>(h.begin() + 17, h.begin() + 23),
              (std::vector<uint8_t>{26, 12, 9, 17, 4, 59}));
    EXPECT_EQ(header_title(h.data()), "Memo.Take2");
    EXPECT_EQ(header_ext(h.data()), "VkD");
    EXPECT_EQ(h[16], 6);
    EXPECT_EQ(h[33], 3);
    // Everything outside the named fields is 0.
    for (std::size_t i : {4u, 13u, 23u, 31u, 32u, 42u, 79u, 256u, 511u}) EXPECT_EQ(h[i], 0) << i;
}

TEST(KoltHeader, LongTitleKeepsItsFirst128BytesWithoutTerminator) {
    std::string name(200, 'a');
    name[127] = 'Z';
    KoltHeader h = make_encoding_header(5, "/out/" + name + ".vkd", fixed_time());
    EXPECT_EQ(h[112 + 127], 'Z');
    EXPECT_EQ(header_title(h.data()), name.substr(0, 128));
    EXPECT_EQ(header_ext(h.data()), "vkd");  // the extension field is untouched by the title
}

TEST(KoltHeader, RecordingHeaderNamesTheScratchFileAndTheSavePatchRenamesIt) {
    KoltHeader h = make_recording_header(7, 4, "/tmp/tempdata/temp_recording.vkd", fixed_time());
    EXPECT_EQ(header_title(h.data()), "temp_recording");
    EXPECT_EQ(header_ext(h.data()), "vkd");
    EXPECT_EQ(h[33], 4);
    KoltHeader before = h;
    patch_saved_recording_header(h.data(), "/home/u/voicedata/memo.vkd");
    EXPECT_EQ(header_title(h.data()), "memo");
    EXPECT_EQ(header_ext(h.data()), "VKD");
    for (std::size_t i = 0; i < 512; ++i)
        if (i < 112 || i >= 243) EXPECT_EQ(h[i], before[i]) << i;

    testsupport::ScratchDir dir;
    std::vector<uint8_t> bytes(h.begin(), h.end());
    bytes.insert(bytes.end(), {0xFF, 0xF3, 0x10, 0xC4});
    write_file(dir.file("A long name.vkd"), bytes);
    ASSERT_TRUE(patch_saved_recording(dir.file("A long name.vkd")));
    std::vector<uint8_t> patched = read_file(dir.file("A long name.vkd"));
    ASSERT_EQ(patched.size(), bytes.size());
    EXPECT_EQ(header_title(patched.data()), "A long name");
    EXPECT_TRUE(std::equal(patched.begin() + 512, patched.end(), bytes.begin() + 512));

    write_file(dir.file("short.vkd"), {1, 2, 3});
    EXPECT_FALSE(patch_saved_recording(dir.file("short.vkd")));
    EXPECT_FALSE(patch_saved_recording(dir.file("missing.vkd")));
}

TEST(FileInfo, VoiceFileDurationIsSizeOverByteRateWithTheRemainderDropped) {
    testsupport::ScratchDir dir;
    write_file(dir.file("sp.vkd"), voice_file(5, 120000));
    Tkoltfile_info info;
    ASSERT_EQ(get_fileinfo(dir.file("sp.vkd"), info), 2);
    EXPECT_EQ(info.codec_type, 5);
    EXPECT_EQ(info.mode_code, 2);
    EXPECT_EQ(info.bitrate, 16000);
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(info.hours * 3600 + info.minutes * 60 + info.seconds, 60);

    write_file(dir.file("shq.VKD"), voice_file(7, 8000 * 3725 - 512 + 7999));
    Tkoltfile_info shq;
    ASSERT_EQ(get_fileinfo(dir.file("shq.VKD"), shq), 2);
    EXPECT_EQ(shq.hours, 1);
    EXPECT_EQ(shq.minutes, 2);
    EXPECT_EQ(shq.seconds, 5);
}

TEST(FileInfo, RejectsWhatIsNotAVoiceFileAndKeepsUnsetFields) {
    testsupport::ScratchDir dir;
    Tkoltfile_info info;
    info.hours = 77;

    std::vector<uint8_t> type0 = voice_file(5, 100);
    type0[16] = 0;
    write_file(dir.file("zero.vkd"), type0);
    EXPECT_EQ(get_fileinfo(dir.file("zero.vkd"), info), 0);

    write_file(dir.file("short.vkd"), std::vector<uint8_t>(511, 0));
    EXPECT_EQ(get_fileinfo(dir.file("short.vkd"), info), 0);
    EXPECT_EQ(get_fileinfo(dir.file("absent.vkd"), info), 0);
    write_file(dir.file("memo.mp3"), voice_file(5, 100));
    EXPECT_EQ(get_fileinfo(dir.file("memo.mp3"), info), 0);
    EXPECT_EQ(info.hours, 77);

    // ADPCM: described, but its duration is not computed.
    write_file(dir.file("adpcm.Vkd"), voice_file(3, 64000));
    ASSERT_EQ(get_fileinfo(dir.file("adpcm.Vkd"), info), 2);
    EXPECT_EQ(info.codec_type, 3);
    EXPECT_EQ(info.bitrate, 32000);
    EXPECT_EQ(info.hours, 77);
}

TEST(FileInfo, BitRateBelowEightGivesDurationZeroInsteadOfDividingByZero) {
    testsupport::ScratchDir dir;
    for (uint32_t rate : {0u, 7u, 0xFFFFFFFFu}) {
        std::vector<uint8_t> bytes = voice_file(5, 5000);
        dwordtobytearray(rate, bytes.data() + 34, false, 3);
        write_file(dir.file("odd.vkd"), bytes);
        Tkoltfile_info info;
        info.seconds = 9;
        ASSERT_EQ(get_fileinfo(dir.file("odd.vkd"), info), 2) << rate;
        EXPECT_EQ(info.hours + info.minutes + info.seconds, 0) << rate;
    }
}

namespace {

// A WAV file made byte by byte: the format fields as given, `data_bytes` of silence.
void write_wav_file(const std::string& path, uint16_t tag, uint16_t channels, uint32_t rate, uint32_t avg,
                    uint16_t align, uint16_t bits, uint32_t data_bytes) {
    std::vector<uint8_t> b;
    auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i))); };
    auto u16 = [&](uint16_t v) { b.push_back(static_cast<uint8_t>(v)); b.push_back(static_cast<uint8_t>(v >> 8)); };
    const bool extra = tag != 1;
    b.insert(b.end(), {'R', 'I', 'F', 'F'});
    u32(4 + 8 + (extra ? 20 : 16) + 8 + data_bytes);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    u32(extra ? 20 : 16);
    u16(tag);
    u16(channels);
    u32(rate);
    u32(avg);
    u16(align);
    u16(bits);
    if (extra) {
        u16(2);
        u16(320);
    }
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    u32(data_bytes);
    b.resize(b.size() + data_bytes, 0);
    write_file(path, b);
}

}  // namespace

TEST(FileInfo, WavBitRateChannelsAndDurationComeFromItsFormat) {
    testsupport::ScratchDir dir;
    struct Case { const char* name; uint16_t tag, channels; uint32_t rate, avg; uint16_t align, bits; uint32_t data;
                  int32_t bitrate, ch, secs; };
    const Case cases[] = {
        {"cd.wav", 1, 2, 44100, 176400, 4, 16, 176400 * 3 + 400, 1411200, 2, 3},
        {"mono8k.WAV", 1, 1, 8000, 8000, 1, 8, 8000 * 75, 64000, 1, 75},
        {"gsm.wav", 0x31, 1, 8000, 1625, 65, 0, 65 * 2500, 13000, 1, 100},
        {"gsm2.Wav", 0x31, 2, 8000, 3250, 130, 0, 130 * 2500, 26000, 2, 100},
    };
    for (const Case& c : cases) {
        write_wav_file(dir.file(c.name), c.tag, c.channels, c.rate, c.avg, c.align, c.bits, c.data);
        Tkoltfile_info info;
        info.codec_type = 9;
        ASSERT_EQ(get_fileinfo(dir.file(c.name), info), 1) << c.name;
        EXPECT_EQ(info.bitrate, c.bitrate) << c.name;
        EXPECT_EQ(info.channels, c.ch) << c.name;
        EXPECT_EQ(info.hours * 3600 + info.minutes * 60 + info.seconds, c.secs) << c.name;
        EXPECT_EQ(info.codec_type, 9) << c.name;  // not a voice file's field
    }
    write_file(dir.file("text.wav"), {'h', 'e', 'l', 'l', 'o'});
    Tkoltfile_info info;
    EXPECT_EQ(get_fileinfo(dir.file("text.wav"), info), 0);
    EXPECT_EQ(get_fileinfo(dir.file("missing.wav"), info), 0);
}
