// Batch conversion through its dialogs: the selection filter, the files it
// makes, the boxes of its failure table, cancelling, and the counters.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

#include <filesystem>

#include "audio/formats/mmwave.h"
#include "shell/appstate.h"
#include "testsupport/scratch_dir.h"
#include "testsupport/scripted_dialogs.h"
#include "ui/flat_boxes.h"
#include "voicefile/compress.h"
#include "voicefile/fileinfo.h"
#include "voicefile/gui/batch_conversion.h"
#include "voicefile/gui/form_convdialog.h"
#include "voicefile/gui/form_progress.h"
#include "voicefile/lamecoder.h"
#include "voicefile/tests/audio_fixtures.h"

namespace murrel {
namespace {

namespace fs = std::filesystem;

class ListSelection : public BatchSelection {
public:
    std::string dir;
    std::vector<std::string> names;
    std::vector<bool> marks;
    int refreshes = 0;

    std::string folder() const override { return dir; }
    int count() const override { return static_cast<int>(names.size()); }
    std::string name(int row) const override { return names[static_cast<size_t>(row)]; }
    bool selected(int row) const override { return marks[static_cast<size_t>(row)]; }
    void deselect(int row) override { marks[static_cast<size_t>(row)] = false; }
    void refresh() override { ++refreshes; }

    void select_all(std::vector<std::string> files) {
        names = std::move(files);
        marks.assign(names.size(), true);
    }
};

// Stops a conversion once it has reported `percent` of its file.
class CancelAt : public ConversionProgress {
public:
    CancelAt(ConversionProgress& inner, int percent) : inner_(inner), percent_(percent) {}
    void set_current(int percent) override {
        inner_.set_current(percent);
        if (percent >= percent_) app().convert_cancel = true;
    }
    void set_target(const std::string& t) override { inner_.set_target(t); }

private:
    ConversionProgress& inner_;
    int percent_;
};

class BatchTest : public testing::Test {
protected:
    void SetUp() override {
        app().reset();
        app().app_dir = AddSlash(dir.path().string());
        app().ini_path = app().app_dir + "missing.ini";
        for (int k : {2, 3, 6, 7, 10}) {
            const std::string key = "FM_text_system_errmsg" + std::to_string(k);
            app().messages[key] = "msg" + std::to_string(k);
        }
        source = dir.file("in");
        out = dir.file("out");
        fs::create_directories(source);
        fs::create_directories(out);
        selection.dir = source;
        progress.set_windows(&main_window, &edit_window);
        batch.locale = QLocale(QLocale::English, QLocale::UnitedStates);
    }
    void TearDown() override { app().reset(); }

    // Confirms the dialog in `mode` (5, 6, 7) into `out`.
    void answer_dialog(int mode, bool overwrite = false) {
        batch.run_dialog = [this, mode, overwrite](TForm_convdialog& d) {
            dialog_was_mode_enabled = d.Radio_sp->isEnabled();
            (mode == 7 ? d.Radio_shq : mode == 6 ? d.Radio_hq : d.Radio_sp)->setChecked(true);
            d.edit_outdirectory->setText(QString::fromStdString(out));
            d.checkbox_overwrite->setChecked(overwrite);
            d.button_goClick();
        };
    }

    void make_wav(const std::string& name, int rate, int channels, double seconds) {
        std::vector<int16_t> mono = testfix::speechlike(rate, seconds);
        std::vector<int16_t> samples;
        for (int16_t s : mono)
            for (int c = 0; c < channels; ++c) samples.push_back(static_cast<int16_t>(c ? -s / 2 : s));
        testfix::write_wav(source + "/" + name, samples, rate, channels);
    }

    void make_voice(const std::string& name, int codec_type, double seconds) {
        const int rate = codec_type == 7 ? 22050 : 16000;
        const std::string wav = dir.file("voice_source.wav");
        testfix::write_wav(wav, testfix::speechlike(rate, seconds), rate);
        TMMWave wave;
        wave.SetFileName(wav);
        wave.OpenFile();
        TLameCoder coder;
        ASSERT_TRUE(file_compress(wave, source + "/" + name, codec_type, coder));
        fs::remove(wav);
    }

    testsupport::ScratchDir dir;
    testsupport::ScriptedDialogs dialogs;
    std::string source, out;
    QWidget main_window, edit_window;
    TForm_convdialog dialog;
    TForm_progress progress;
    ListSelection selection;
    TBatchConversion batch{dialog, progress, selection};
    bool dialog_was_mode_enabled = false;
};

TEST_F(BatchTest, OnlyWavAndVoiceFilesStaySelectedAndNothingElseOpensTheDialog) {
    selection.select_all({"notes.txt", "image.png"});
    int dialogs_shown = 0, stops = 0;
    batch.run_dialog = [&](TForm_convdialog&) { ++dialogs_shown; };
    batch.stop_playback = [&] { ++stops; };
    batch.button_convertClick();
    EXPECT_EQ(dialogs_shown, 0);
    EXPECT_EQ(stops, 0);
    EXPECT_EQ(selection.marks, (std::vector<bool>{false, false}));

    selection.select_all({"a.VKD", "notes.txt", "b.vkd"});
    batch.button_convertClick();
    EXPECT_EQ(dialogs_shown, 1);
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(selection.marks, (std::vector<bool>{true, false, true}));
    EXPECT_FALSE(dialog.Radio_sp->isEnabled());
    EXPECT_EQ(dialog.edit_outdirectory->text().toStdString(), source);

    selection.select_all({"a.vkd", "c.Wav"});
    batch.button_convertClick();
    EXPECT_TRUE(dialog.Radio_hq->isEnabled());
    EXPECT_TRUE(dialog.label_outputmode->isEnabled());
}

TEST_F(BatchTest, NothingHappensWhileRecording) {
    selection.select_all({"a.vkd"});
    int dialogs_shown = 0;
    batch.run_dialog = [&](TForm_convdialog&) { ++dialogs_shown; };
    batch.recording = [] { return true; };
    batch.button_convertClick();
    EXPECT_EQ(dialogs_shown, 0);
}

TEST_F(BatchTest, TwoVoiceFilesAndTwoWavFilesInHqMakeTheRightFiles) {
    make_voice("rec01.vkd", 5, 1.0);
    make_voice("rec02.vkd", 7, 0.8);
    make_wav("memo.wav", 16000, 1, 1.0);
    make_wav("song.wav", 44100, 2, 0.7);
    selection.select_all({"rec01.vkd", "rec02.vkd", "memo.wav", "song.wav"});
    answer_dialog(6);
    batch.button_convertClick();

    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messages.front().text;
    EXPECT_EQ(batch.converted, 4);
    const testfix::Pcm rec01 = testfix::read_wav(out + "/rec01.wav");
    ASSERT_TRUE(rec01.ok);
    EXPECT_EQ(rec01.rate, 16000);
    EXPECT_EQ(rec01.bits, 16);
    EXPECT_NEAR(rec01.samples.size(), 16000u, 2000u);
    const testfix::Pcm rec02 = testfix::read_wav(out + "/rec02.wav");
    ASSERT_TRUE(rec02.ok);
    EXPECT_EQ(rec02.rate, 22050);
    for (const char* name : {"memo.vkd", "song.vkd"}) {
        Tkoltfile_info info;
        EXPECT_EQ(get_fileinfo(out + "/" + name, info), kFileVoice) << name;
        EXPECT_EQ(info.codec_type, 6) << name;
        EXPECT_EQ(info.bitrate, 32000) << name;
    }
    EXPECT_FALSE(fs::exists(source + "/song.wav.tmp"));
    for (const std::string& folder : {source, out})
        for (const auto& e : fs::directory_iterator(folder))
            EXPECT_NE(e.path().filename().string().rfind(".murrel-", 0), 0u) << e.path();  // no intermediate left
    EXPECT_FALSE(progress.isVisible());
    EXPECT_TRUE(main_window.isEnabled());
    EXPECT_TRUE(edit_window.isEnabled());
    EXPECT_EQ(progress.label_filecount->text(), "4 of 4 file(s)");
    EXPECT_EQ(progress.ProgressBar_total->value(), 100);
    EXPECT_EQ(selection.refreshes, 1);
}

// What the user reads while the only file of a batch converts: the file picked
// (not the resampled scratch copy the encoder reads) and an overall bar that
// moves with it, from the resampling through the encoding.
TEST_F(BatchTest, TheProgressDialogNamesThePickedFileAndItsOverallBarMovesForOneFile) {
    make_wav("memo.wav", 44100, 2, 1.0);
    selection.select_all({"memo.wav"});
    answer_dialog(5);
    struct Seen {
        std::string file, target;
        int total;
    };
    std::vector<Seen> seen;
    auto look = [&] {
        seen.push_back({progress.label_filename->text().toStdString(),
                        progress.label_targetfilename->text().toStdString(), progress.ProgressBar_total->value()});
    };
    const BatchOperations engine = batch.ops;
    batch.ops.wavetowave = [&](const std::string& s, const std::string& t, int c, int b, int r,
                               ConversionProgress& p) {
        const bool ok = engine.wavetowave(s, t, c, b, r, p);
        look();
        return ok;
    };
    batch.ops.compress = [&](TMMWave& source, const std::string& t, const std::string& to, int codec,
                             ConversionProgress& p) {
        p.set_current(50);
        look();
        const bool ok = engine.compress(source, t, to, codec, p);
        look();
        return ok;
    };
    batch.button_convertClick();

    ASSERT_EQ(batch.converted, 1);
    ASSERT_EQ(seen.size(), 3u);
    for (const Seen& s : seen) {
        EXPECT_EQ(s.file, "memo.wav");
        EXPECT_EQ(s.target.find(".tmp"), std::string::npos) << s.target;
    }
    EXPECT_EQ(seen[0].total, 50);  // resampled: half of the only file
    EXPECT_EQ(seen[1].total, 75);  // half-way through encoding it
    EXPECT_EQ(seen[2].total, 100);
}

TEST_F(BatchTest, ExistingTargetsGiveOneWarningPerFileUnlessOverwritingIsAllowed) {
    make_voice("rec01.vkd", 5, 0.5);
    make_wav("memo.wav", 16000, 1, 0.5);
    testfix::write_bytes(out + "/rec01.wav", {'o', 'l', 'd'});
    testfix::write_bytes(out + "/memo.vkd", {'o', 'l', 'd'});
    selection.select_all({"rec01.vkd", "memo.wav"});
    answer_dialog(5);
    batch.button_convertClick();
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[0].text, "[rec01.wav] msg10");
    EXPECT_EQ(dialogs.messages[1].text, "[memo.vkd]msg10");
    for (const auto& m : dialogs.messages) {
        EXPECT_EQ(m.icon, MessageIcon::Warning);
        EXPECT_EQ(m.caption, "Murrelphonic");
    }
    EXPECT_EQ(fs::file_size(out + "/rec01.wav"), 3u);
    EXPECT_EQ(fs::file_size(out + "/memo.vkd"), 3u);

    answer_dialog(5, true);
    batch.button_convertClick();
    EXPECT_EQ(dialogs.messages.size(), 2u);
    EXPECT_TRUE(testfix::read_wav(out + "/rec01.wav").ok);
    Tkoltfile_info info;
    EXPECT_EQ(get_fileinfo(out + "/memo.vkd", info), kFileVoice);
    EXPECT_FALSE(dialog.checkbox_overwrite->isChecked());
}

TEST_F(BatchTest, CancellingMidFileLeavesAValidShorterWavAndEndsTheBatch) {
    make_voice("long.vkd", 5, 4.0);
    make_voice("next.vkd", 5, 0.5);
    selection.select_all({"long.vkd", "next.vkd"});
    answer_dialog(5);
    auto real = batch.ops.decompress;
    batch.ops.decompress = [real](const std::string& s, const std::string& t, const std::string& to,
                                  const Tkoltfile_info& i, TMMWave& w, ConversionProgress& p) {
        CancelAt cancel(p, 40);
        return real(s, t, to, i, w, cancel);
    };
    batch.button_convertClick();
    const testfix::Pcm cut = testfix::read_wav(out + "/long.wav");
    ASSERT_TRUE(cut.ok);
    EXPECT_GT(cut.samples.size(), 0u);
    EXPECT_LT(cut.samples.size(), 16000u * 3);
    EXPECT_FALSE(fs::exists(out + "/next.wav"));
    EXPECT_FALSE(progress.isVisible());
    EXPECT_TRUE(main_window.isEnabled());
}

TEST_F(BatchTest, CancellingWhileAWavFileIsBroughtToTheModesFormatLeavesNoTemporaryCopy) {
    make_wav("song.wav", 44100, 2, 3.0);
    make_wav("memo.wav", 16000, 1, 0.5);
    selection.select_all({"song.wav", "memo.wav"});
    answer_dialog(5);
    auto real = batch.ops.wavetowave;
    batch.ops.wavetowave = [real](const std::string& s, const std::string& t, int c, int b, int r,
                                  ConversionProgress& p) {
        CancelAt cancel(p, 30);
        return real(s, t, c, b, r, cancel);
    };
    batch.button_convertClick();
    EXPECT_FALSE(fs::exists(source + "/song.wav.tmp"));
    for (const std::string& folder : {source, out})
        for (const auto& e : fs::directory_iterator(folder))
            EXPECT_NE(e.path().filename().string().rfind(".murrel-", 0), 0u) << e.path();  // no intermediate left
    EXPECT_FALSE(fs::exists(out + "/song.vkd"));
    EXPECT_FALSE(fs::exists(out + "/memo.vkd"));  // the batch ended with the cancel
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_FALSE(progress.isVisible());
    EXPECT_TRUE(main_window.isEnabled());
}

TEST_F(BatchTest, TheFailureTableShowsItsBoxesAndAnUncreatableWavTargetEndsTheBatchCleanly) {
    testfix::write_bytes(source + "/fake.vkd", std::vector<uint8_t>(700, 0x41));  // no valid header
    testfix::write_bytes(source + "/broken.wav", {'R', 'I', 'F', 'F', 1, 2});
    make_voice("good.vkd", 5, 0.3);
    selection.select_all({"fake.vkd", "broken.wav", "good.vkd"});
    answer_dialog(5);
    batch.ops.fileinfo = [](const std::string& path, Tkoltfile_info& info) {
        // The broken WAV is taken for a WAV so that opening it is what fails.
        if (path.ends_with("broken.wav")) return static_cast<int>(kFileWav);
        return get_fileinfo(path, info);
    };
    batch.run_dialog = [this](TForm_convdialog& d) {
        d.edit_outdirectory->setText(QString::fromStdString(dir.file("no/such/folder")));
        d.button_goClick();
    };
    batch.button_convertClick();
    ASSERT_EQ(dialogs.messages.size(), 3u);
    EXPECT_EQ(dialogs.messages[0].text, "msg7");
    EXPECT_EQ(dialogs.messages[1].text, "msg6");
    EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::Error);
    EXPECT_TRUE(dialogs.messages[0].system_modal);
    EXPECT_NE(dialogs.messages[2].text.find("create"), std::string::npos) << dialogs.messages[2].text;
    EXPECT_FALSE(progress.isVisible());
    EXPECT_TRUE(main_window.isEnabled());
    EXPECT_TRUE(edit_window.isEnabled());
}

TEST_F(BatchTest, TheProgressDialogDisablesBothWindowsWhileShownAndCancelSetsTheFlag) {
    progress.show();
    EXPECT_FALSE(main_window.isEnabled());
    EXPECT_FALSE(edit_window.isEnabled());
    EXPECT_TRUE(progress.windowFlags() & Qt::WindowStaysOnTopHint);
    progress.Button_cancelClick();
    EXPECT_TRUE(app().convert_cancel);
    EXPECT_FALSE(progress.isVisible());
    EXPECT_TRUE(main_window.isEnabled());
    EXPECT_TRUE(edit_window.isEnabled());
}

TEST_F(BatchTest, CountersShowFilesAndKilobytesWithTheLocalesSeparators) {
    // Sizes the totals can be checked by hand against: a 1,000,000-byte voice
    // file that is not valid counts 976.56 KB, and the empty one nothing.
    testfix::write_bytes(source + "/big.vkd", std::vector<uint8_t>(1000000, 0));
    testfix::write_bytes(source + "/empty.vkd", {});
    selection.select_all({"big.vkd", "empty.vkd"});
    answer_dialog(5);
    batch.locale = QLocale(QLocale::German, QLocale::Germany);
    batch.button_convertClick();
    EXPECT_EQ(progress.label_filecount->text(), "2 of 2 file(s)");
    EXPECT_EQ(progress.label_filebyte->text(), "Total  976,56 / 976,56 Kbyte(s)");
    EXPECT_EQ(format_number(1234567.891, QLocale(QLocale::English, QLocale::UnitedStates)), "1,234,567.89");
    EXPECT_EQ(format_number(0, QLocale(QLocale::English, QLocale::UnitedStates)), "0.00");
}

TEST_F(BatchTest, TheDialogClearsItsResultOnShowAndKeepsTheModeBetweenUses) {
    dialog.Radio_shq->setChecked(true);
    dialog.result_flag = true;
    dialog.show();
    EXPECT_FALSE(dialog.result_flag);
    dialog.button_cancelClick();
    EXPECT_FALSE(dialog.result_flag);
    EXPECT_EQ(dialog.codec_type(), 7);
    dialog.edit_outdirectory->setText("/start");
    dialogs.folder_answers.push_back(std::string("/chosen/folder"));
    dialog.Button_changeoutfolderClick();
    EXPECT_EQ(dialog.edit_outdirectory->text(), "/chosen/folder");
    ASSERT_EQ(dialogs.folder_requests.size(), 1u);
    EXPECT_EQ(dialogs.folder_requests[0].folder, "/start");
}

TEST_F(BatchTest, AVoiceFileWithoutAudioFramesShowsTheErrorBoxAndWritesNothing) {
    testfix::write_voice_file(source + "/empty.vkd", 5, std::vector<uint8_t>(4096, 0));
    selection.select_all({"empty.vkd"});
    answer_dialog(5);
    batch.button_convertClick();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(dialogs.messages.front().text.find("no audio frames"), std::string::npos) << dialogs.messages.front().text;
    EXPECT_FALSE(fs::exists(out + "/empty.wav"));
    EXPECT_EQ(batch.converted, 0);
}

TEST_F(BatchTest, OverwritingReplacesAFileOnlyOnceTheNewOneIsComplete) {
    make_voice("rec.vkd", 5, 1.0);
    make_wav("note.wav", 16000, 1, 0.5);
    testfix::write_bytes(out + "/rec.wav", {'o', 'l', 'd'});
    testfix::write_bytes(out + "/note.vkd", {'o', 'l', 'd'});
    auto real_decompress = batch.ops.decompress;
    auto real_compress = batch.ops.compress;
    // The disk fills up halfway through each: the old files must survive.
    batch.ops.decompress = [real_decompress](const std::string& s, const std::string& t, const std::string& to,
                                             const Tkoltfile_info& i, TMMWave& w, ConversionProgress& p) -> bool {
        real_decompress(s, t, to, i, w, p);
        throw EMMWaveError(WaveError::WriteError);
    };
    batch.ops.compress = [real_compress](TMMWave& w, const std::string& t, const std::string& to, int c,
                                         ConversionProgress& p) {
        real_compress(w, t, to, c, p);
        return false;
    };
    selection.select_all({"rec.vkd"});
    answer_dialog(5, true);
    batch.button_convertClick();
    selection.select_all({"note.wav"});
    answer_dialog(5, true);
    batch.button_convertClick();
    EXPECT_EQ(testfix::read_bytes(out + "/rec.wav").size(), 3u);
    EXPECT_EQ(testfix::read_bytes(out + "/note.vkd").size(), 3u);
    for (const auto& e : fs::directory_iterator(out))
        EXPECT_NE(e.path().filename().string().rfind(".murrel-", 0), 0u) << e.path();

    // Complete, the new files replace the old ones, the voice file under its own name.
    batch.ops.decompress = real_decompress;
    batch.ops.compress = real_compress;
    dialogs.messages.clear();
    selection.select_all({"rec.vkd", "note.wav"});
    answer_dialog(5, true);
    batch.button_convertClick();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(testfix::read_wav(out + "/rec.wav").ok);
    const std::vector<uint8_t> vkd = testfix::read_bytes(out + "/note.vkd");
    ASSERT_GT(vkd.size(), 512u);
    EXPECT_EQ(header_title(vkd.data()), "note");
}

}  // namespace
}  // namespace murrel
