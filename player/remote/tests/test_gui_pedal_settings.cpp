// The pedal settings dialog with the real reader fed through pipes: learning
// a pedal by pressing it, the devices line, the timings, and OK storing
// everything in the INI file for the next start.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <fstream>

#include "audio/devices/ui_dispatcher.h"
#include "audio/devices/virtual_backend.h"
#include "player/playerstrip.h"
#include "player/remote/gui/desktop_controls.h"
#include "player/remote/gui/pedal_settings_dialog.h"
#include "player/remote/tests/fake_inputs.h"
#include "shell/appstate.h"
#include "shell/profile.h"
#include "testsupport/scratch_dir.h"
#include "testsupport/scripted_dialogs.h"

namespace murrel {
namespace {

using remotetest::FakeInputs;

// The program's way of reaching the event loop.
class QtPost final : public UiDispatcher {
public:
    void post(std::function<void()> work) override {
        QMetaObject::invokeMethod(qApp, [work = std::move(work)] { work(); }, Qt::QueuedConnection);
    }
};

bool wait_for(const std::function<bool()>& done, int ms = 3000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

class PedalDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(scratch.path() / "input");
        reader = std::make_unique<PedalReader>(ui, PedalReader::Options{(scratch.path() / "input").string(),
                                                                         inputs.opener()});
        std::string why;
        ASSERT_TRUE(reader->start(why)) << why;
    }
    void TearDown() override { reader.reset(); }
    std::string text(QLabel* l) { return l->text().toStdString(); }

    testsupport::ScratchDir scratch;
    FakeInputs inputs{scratch.path() / "input"};
    QtPost ui;
    std::unique_ptr<PedalReader> reader;
};

TEST_F(PedalDialogTest, PressingAPedalWhileLearningBindsItToThatRowAndTakesItFromAnother) {
    inputs.plug("event4", remotetest::three_pedals());
    ASSERT_TRUE(wait_for([&] { return reader->devices().pedals.size() == 1; }));
    PedalSettingsDialog dialog(*reader, PedalSettings{});
    EXPECT_EQ(text(dialog.binding_labels[0]), "Not learned: the usual layout is used");
    dialog.learn_buttons[0]->click();
    EXPECT_EQ(text(dialog.binding_labels[0]), "Press the pedal now…");
    EXPECT_FALSE(dialog.learn_buttons[1]->isEnabled()) << "a second row may not wait at the same time";
    EXPECT_TRUE(reader->learning());
    ASSERT_TRUE(inputs.key("event4", BTN_2, 1));
    ASSERT_TRUE(wait_for([&] { return dialog.learning() == PedalAction::None; }));
    EXPECT_EQ(dialog.settings().play, (PedalBinding{0x05f3, 0x00ff, BTN_2}));
    EXPECT_EQ(text(dialog.binding_labels[0]), "BTN_2 on USB Foot Pedal");
    EXPECT_EQ(text(dialog.binding_labels[1]), "Not set");
    ASSERT_TRUE(inputs.key("event4", BTN_2, 0));
    // Kept for a person to judge the dialog's look.
    const auto shots = std::filesystem::path(MURREL_BIN_DIR).parent_path() / "screenshots";
    std::filesystem::create_directories(shots);
    dialog.adjustSize();
    const QImage look = dialog.grab().toImage();
    EXPECT_TRUE(look.save(QString::fromStdString((shots / "pedal_settings.png").string())));
    EXPECT_LT(look.pixelColor(2, look.height() - 2).lightness(), 80) << "a light box over the dark windows";

    dialog.learn_buttons[1]->click();
    ASSERT_TRUE(inputs.key("event4", BTN_2, 1));
    ASSERT_TRUE(wait_for([&] { return dialog.learning() == PedalAction::None; }));
    EXPECT_EQ(dialog.settings().rewind.code, BTN_2);
    EXPECT_FALSE(dialog.settings().play.set()) << "one pedal did two things";
    EXPECT_EQ(text(dialog.binding_labels[0]), "Not set");
}

TEST_F(PedalDialogTest, CancellingTheLearnModeKeepsTheBindingAndTheReaderActsAgain) {
    PedalSettings s;
    s.play = {0x05f3, 0x00ff, BTN_1};
    std::function<void(const LearnedKey&)> before = [](const LearnedKey&) {};
    reader->OnLearned = before;
    {
        PedalSettingsDialog dialog(*reader, s);
        dialog.learn_buttons[0]->click();
        EXPECT_EQ(dialog.learn_buttons[0]->text(), "Cancel");
        dialog.learn_buttons[0]->click();
        EXPECT_FALSE(reader->learning());
        EXPECT_EQ(dialog.settings().play, s.play);
        dialog.clear_buttons[0]->click();
        EXPECT_FALSE(dialog.settings().play.set());
        dialog.learn_buttons[2]->click();
    }
    EXPECT_FALSE(reader->learning()) << "closing the dialog while learning left the reader learning";
    EXPECT_TRUE(reader->OnLearned) << "the reader's own callback was not given back";
}

TEST_F(PedalDialogTest, TheDevicesLineFollowsPedalsComingGoingAndUnreadable) {
    PedalSettingsDialog dialog(*reader, PedalSettings{});
    EXPECT_EQ(text(dialog.devices_label), "No foot pedal is connected.");
    inputs.plug("event1", remotetest::three_pedals());
    ASSERT_TRUE(wait_for([&] { return text(dialog.devices_label) == "Connected: USB Foot Pedal."; }))
        << text(dialog.devices_label);
    inputs.plug("event2", remotetest::three_pedals(), /*denied=*/true);
    ASSERT_TRUE(wait_for([&] { return text(dialog.devices_label).find("udev rule") != std::string::npos; }));
    inputs.unplug("event1");
    inputs.unplug("event2");
    ASSERT_TRUE(wait_for([&] { return text(dialog.devices_label) == "No foot pedal is connected."; }));
}

TEST(DesktopControlsSettings, OkStoresTheDialogsSettingsInTheIniFileAndTheNextStartReadsThem) {
    testsupport::ScratchDir scratch;
    testsupport::ScriptedDialogs dialogs;
    app().reset();
    const std::string ini = scratch.file("Murrelphonic.ini");
    std::ofstream(ini) << "[FootPedal]\nRewindOnRelease=500\n";
    std::filesystem::create_directories(scratch.path() / "input");
    VirtualBackend backend;
    QtPost ui;
    PlayerStrip strip(&backend, &ui);
    QWidget window;
    auto controls = std::make_unique<DesktopControls>(strip, &window, ini, ui,
                                                      PedalReader::Options{(scratch.path() / "input").string(), {}});
    EXPECT_EQ(controls->reader().settings().rewind_on_release_ms, 500);
    bool seen = false;
    QTimer::singleShot(100, [&] {
        auto* dialog = qobject_cast<PedalSettingsDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<PedalSettingsDialog*>(w)) dialog = d;
        }
        if (!dialog) return;
        seen = true;
        EXPECT_EQ(dialog->rewind_box->value(), 500);
        dialog->rewind_box->setValue(2000);
        dialog->step_box->setValue(5000);
        dialog->enabled_box->setChecked(false);
        dialog->accept();
    });
    controls->open_settings();
    ASSERT_TRUE(seen) << "the dialog never showed";
    EXPECT_EQ(controls->reader().settings().rewind_on_release_ms, 2000);
    const PedalSettings stored = load_pedal_settings(ProfileFile(ini));
    EXPECT_EQ(stored.rewind_on_release_ms, 2000);
    EXPECT_EQ(stored.skip_step_ms, 5000);
    EXPECT_FALSE(stored.enabled);
    controls.reset();
    app().reset();
}

}  // namespace
}  // namespace murrel
