#pragma once
// What the Voice Editor's window suites share: a scratch program folder, the
// window on a virtual sound card whose clock the test drives, test files of
// known frames, and the ways to let the window play and to read what it played.
#include <gtest/gtest.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "audio/devices/ui_dispatcher.h"
#include "audio/devices/virtual_backend.h"
#include "audio/formats/mmwave.h"
#include "editor/gui/editorpane.h"
#include "shell/appstate.h"
#include "shell/gui/form_edit.h"
#include "shell/tests/program_folder.h"
#include "testsupport/scratch_dir.h"
#include "testsupport/scripted_dialogs.h"

namespace murrel::editortest {

// Every frame tells where it came from: frame % 30000 + 1, in each channel.
inline std::vector<int16_t> ramp(size_t frames, int channels = 1) {
    std::vector<int16_t> s(frames * size_t(channels));
    for (size_t i = 0; i < s.size(); ++i) s[i] = int16_t(int64_t(i / size_t(channels)) % 30000 + 1);
    return s;
}

inline void write_wav(const std::string& path, const std::vector<int16_t>& s, uint32_t rate = 16000,
                      int channels = 1) {
    TMMWave w;
    w.FileMustExist = false;
    w.CreateFile(path, MakePCMFormat(16, channels, rate));
    if (!s.empty()) w.WriteData(s.data(), int64_t(s.size() * 2));
    w.CloseFile();
}

inline int64_t frames_of(const std::string& path) {
    TMMWave w;
    w.SetFileName(path);
    w.SetTimeFormat(TMMTimeFormats::tfSample);
    return w.DataSize();
}

class EditorFixture : public testing::Test {
protected:
    static constexpr int64_t kFrames = 3 * 16000;

    void SetUp() override {
        use_scratch_program_folder(dir);
        ::setenv("XDG_CACHE_HOME", dir.file("cache").c_str(), 1);
        backend.set_clock(VirtualClock::Manual);
        edit = std::make_unique<Tform_edit>(nullptr, &backend, &ui);
        doc = dir.file("take.wav");
    }
    void TearDown() override {
        edit.reset();
        app().reset();
    }
    // The editor's messages as "msg0".."msg17", so that a test can tell
    // which one was asked.
    static void use_numbered_messages() {
        for (int k = 0; k <= 17; ++k) app().messages["FE_wav_msg" + std::to_string(k)] = "msg" + std::to_string(k);
    }
    void show(QSize size = {}) {
        if (size.isValid()) edit->resize(size);
        edit->show();
        QApplication::processEvents();
    }

    TEditorPane& lower() { return edit->Pane(2); }
    TEditorPane& upper() { return edit->Pane(1); }
    // Lets the device's refills and posted events run.
    void settle() {
        ui.pump_for(std::chrono::milliseconds(20));
        QApplication::processEvents();
    }
    // The device plays `frames` in short steps with the refills between, as a
    // sound card takes its buffers: more than its short queue holds at once.
    void play_for(int64_t frames) {
        for (int64_t done = 0; done < frames; done += 160) {
            backend.advance_output(std::min<int64_t>(160, frames - done));
            settle();
        }
    }
    // The first `frames` frames the virtual device played (fewer when it
    // played fewer); all of them by default.
    std::vector<int16_t> played(size_t frames = SIZE_MAX) const {
        const std::vector<uint8_t> bytes = backend.played();
        std::vector<int16_t> s(std::min(frames, bytes.size() / 2));
        std::memcpy(s.data(), bytes.data(), s.size() * 2);
        return s;
    }

    testsupport::ScratchDir dir;
    testsupport::ScriptedDialogs dialogs;
    VirtualBackend backend;
    PumpDispatcher ui;
    std::unique_ptr<Tform_edit> edit;
    std::string doc;
};

}  // namespace murrel::editortest
