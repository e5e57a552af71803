// murrelphonic-cli edit, run as a program: chained operations against the
// result computed here from the input, both ways of writing positions, and
// every bad input refused with a message and no output.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "cli/tests/bad_inputs.h"
#include "testsupport/cli_program.h"
#include "testsupport/scratch_dir.h"

using namespace murrel;
using namespace murrel::testfix;
namespace fs = std::filesystem;

namespace {

const std::string kCli = murrel::testsupport::cli_program();

std::vector<int16_t> ramp(size_t n) {
    std::vector<int16_t> s(n);
    for (size_t i = 0; i < n; ++i) s[i] = int16_t(int64_t(i) * 29 % 40001 - 20000);
    return s;
}

class CliEdit : public ::testing::Test {
protected:
    void SetUp() override {
        MURREL_REQUIRE_CLI_PROGRAM();
        input = ramp(48000);  // 3 s at 16 kHz
        write_wav(dir.file("in.wav"), input, 16000);
    }
    int edit(const std::string& args) {
        return run("TMPDIR=" + dir.file("") + " " + kCli + " edit " + args + " >" + dir.file("out.txt") + " 2>" +
                   dir.file("err.txt"));
    }
    std::string err() {
        const std::vector<uint8_t> b = read_bytes(dir.file("err.txt"));
        return {b.begin(), b.end()};
    }
    // No scratch folder of the command outlives it.
    void expect_no_scratch() {
        for (const auto& e : fs::directory_iterator(dir.path()))
            EXPECT_EQ(e.path().filename().string().rfind("murrel-edit-", 0), std::string::npos) << e.path();
    }
    testsupport::ScratchDir dir;
    std::vector<int16_t> input;
};

TEST_F(CliEdit, ChainedOperationsApplyInOrderWithSecondsAndFrames) {
    const std::vector<int16_t> clip = ramp(800);
    write_wav(dir.file("clip.wav"), std::vector<int16_t>(clip.rbegin(), clip.rend()), 16000);
    ASSERT_EQ(edit(dir.file("in.wav") + " --cut 0.5:1 --paste " + dir.file("clip.wav") +
                   "@8000f --insert-blank 0.25 --trim 1000f:2.5 --volume up -o " + dir.file("out.wav")),
              0)
        << err();
    std::vector<int16_t> e(input.begin(), input.begin() + 8000);    // cut 8000..16000
    e.insert(e.end(), input.begin() + 16000, input.end());
    e.insert(e.begin() + 8000, clip.rbegin(), clip.rend());         // paste at 8000
    e.insert(e.begin() + 4000, 16000, 0);                           // one second at 0.25 s
    e = std::vector<int16_t>(e.begin() + 1000, e.begin() + 40000);  // trim 1000..40000
    for (int16_t& s : e) s = int16_t(std::clamp((int32_t(s) * 18390) >> 14, -32768, 32767));
    const Pcm out = read_wav(dir.file("out.wav"));
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(out.rate, 16000);
    EXPECT_EQ(out.samples, e);
    expect_no_scratch();

    // down and reset undo what up did before anything was rendered.
    ASSERT_EQ(edit(dir.file("in.wav") + " --volume up --volume up --volume reset -o " + dir.file("flat.wav")), 0)
        << err();
    EXPECT_EQ(read_wav(dir.file("flat.wav")).samples, input);
}

TEST_F(CliEdit, AClipOfAnotherFormatIsConvertedToTheDocuments) {
    std::vector<int16_t> stereo(2 * 22050, 1000);
    write_wav(dir.file("stereo.wav"), stereo, 22050, 2);
    ASSERT_EQ(edit(dir.file("in.wav") + " --paste " + dir.file("stereo.wav") + "@1 -o " + dir.file("out.wav")), 0)
        << err();
    const Pcm out = read_wav(dir.file("out.wav"));
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(out.channels, 1);
    EXPECT_EQ(out.samples.size(), 48000u + 16000u);
    EXPECT_TRUE(std::equal(input.begin(), input.begin() + 16000, out.samples.begin()));
    EXPECT_TRUE(std::equal(input.begin() + 16000, input.end(), out.samples.begin() + 32000));
}

TEST_F(CliEdit, BadInputIsRefusedAndWritesNothing) {
    write_bytes(dir.file("text.wav"), {'h', 'e', 'l', 'l', 'o'});
    write_bytes(dir.file("tag.wav"), wave_bytes(0x1234, 1, 16000, 16, 2, 32000));
    write_wav(dir.file("empty.wav"), {}, 16000);
    const std::string in = dir.file("in.wav"), out = " -o " + dir.file("out.wav");
    struct Case {
        std::string args;
        int status;
        std::string message;
    };
    const std::vector<Case> cases = {
        {in + " --cut 1x:2" + out, 2, "FROM:TO"},
        {in + " --cut 1" + out, 2, "FROM:TO"},
        {in + " --insert-blank -1" + out, 2, "bad position"},
        {in + " --paste " + in + out, 2, "CLIP.wav@AT"},
        {in + " --volume loud" + out, 2, "up, down or reset"},
        {in + " --cut 1:2", 2, "no output"},
        {in + " --cut 2:1" + out, 1, "before TO"},
        {in + " --cut 1:4" + out, 1, "only 48000 frames"},
        {in + " --insert-blank 48001f" + out, 1, "only 48000 frames"},
        {in + " --cut 0:48000f" + out, 1, "no audio"},
        {in + " --paste " + dir.file("missing.wav") + "@0" + out, 1, "cannot be read"},
        {in + " --paste " + dir.file("empty.wav") + "@0" + out, 1, "no audio"},
        {dir.file("text.wav") + " --cut 0:1" + out, 1, "text.wav"},
        {dir.file("tag.wav") + " --cut 0:0.5" + out, 1, "cannot read"},
        {dir.file("empty.wav") + " --volume up" + out, 1, "no audio"},
        {dir.file("missing.wav") + " --volume up" + out, 1, "missing.wav"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(edit(c.args), c.status) << c.args << "\n" << err();
        EXPECT_NE(err().find(c.message), std::string::npos) << c.args << "\n" << err();
        EXPECT_FALSE(fs::exists(dir.file("out.wav"))) << c.args;
    }
    expect_no_scratch();

    // An existing output is replaced only when asked.
    write_wav(dir.file("out.wav"), {1, 2, 3}, 16000);
    EXPECT_EQ(edit(in + " --cut 0:1" + out), 1);
    EXPECT_NE(err().find("--overwrite"), std::string::npos) << err();
    EXPECT_EQ(read_wav(dir.file("out.wav")).samples, (std::vector<int16_t>{1, 2, 3}));
    EXPECT_EQ(edit(in + " --cut 0:1 --overwrite" + out), 0) << err();
    EXPECT_EQ(read_wav(dir.file("out.wav")).samples, std::vector<int16_t>(input.begin() + 16000, input.end()));
}

}  // namespace
