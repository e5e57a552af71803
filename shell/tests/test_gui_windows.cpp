// The program's windows as start-up creates them: order, catalogue texts,
// character set, caption panels, the about box and the idle rule.
#include <gtest/gtest.h>

#include <QApplication>
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QScreen>

#include <filesystem>
#include <fstream>

#include "shell/appstate.h"
#include "shell/tests/program_folder.h"
#include "shell/catalogue.h"
#include "shell/gui/form_about.h"
#include "shell/gui/form_edit.h"
#include "shell/gui/form_main.h"
#include "shell/gui/program_windows.h"
#include "filemanager/gui/file_browser.h"
#include "filemanager/gui/file_list.h"
#include "ui/splitter.h"
#include "testsupport/scratch_dir.h"
#include "testsupport/scripted_dialogs.h"
#include "ui/bitmap_button.h"
#include "ui/flat_boxes.h"
#include "ui/panels.h"
#include "voicefile/gui/form_convdialog.h"
#include "voicefile/gui/form_progress.h"

namespace murrel {
namespace {

class WindowsTest : public testing::Test {
protected:
    void SetUp() override {
        use_scratch_program_folder(dir);
    }
    void TearDown() override { app().reset(); }

    void write_ini(const std::string& text) { std::ofstream(app().ini_path) << text; }

    testsupport::ScratchDir dir;
    testsupport::ScriptedDialogs dialogs;
};

TEST_F(WindowsTest, WithoutAnIniFileCaptionsAreBlankButTheTwoButtonsWithDefaults) {
    ProgramWindows w(getmessage_frominifile(CatalogueWindow::Main));
    EXPECT_EQ(w.main->Label_convert->text(), "");
    EXPECT_EQ(w.main->button_play->toolTip(), "");
    EXPECT_EQ(w.progress->button_cancel->text(), "&Cancel");
    EXPECT_EQ(w.about->Button_ok->text(), "&Ok");
    EXPECT_EQ(w.convdialog->button_go->text(), "");
    EXPECT_EQ(w.about->panel_captiontitle->text(), "  ");
    // The conversion dialog starts at the folder the browser opened at.
    EXPECT_EQ(w.convdialog->edit_outdirectory->text().toStdString(), app().data_dir);
    EXPECT_TRUE(w.edit->isHidden());
}

TEST_F(WindowsTest, EachWindowTakesItsKeysAndCaptionPanelsGetTwoBlanks) {
    write_ini("[Messages]\n"
              "FM_button_convert=Convert\n"
              "FM_PUHopen=Open it\n"
              "FM_PUHrefresh=Reload\n"
              "FM_button_play=Play the file\n"
              "FM_button_exit=Close the program\n"
              "FM_text_system_errmsg7=Not a voice file\n"
              "FC_panel_captiontitle=Conversion\n"
              "FC_button_go=Start\n"
              "FC_CheckBox_overwrite=Replace existing files\n"
              "FP_panel_captiontitle=Progress\n"
              "FP_button_cancel=Stop\n"
              "FI_panel_captiontitle=About us\n"
              "FI_button_ok=Close\n");
    ProgramWindows w(getmessage_frominifile(CatalogueWindow::Main));
    EXPECT_EQ(w.main->Label_convert->text(), "Convert");
    EXPECT_EQ(w.main->browser().P_hddopen->text(), "Open it");
    EXPECT_EQ(w.main->browser().P_hddrefresh->text(), "Reload");
    EXPECT_EQ(w.main->button_play->toolTip(), "Play the file");
    EXPECT_EQ(w.main->button_exit->toolTip(), "Close the program");
    EXPECT_EQ(app().message("FM_text_system_errmsg7"), "Not a voice file");
    EXPECT_EQ(w.convdialog->panel_captiontitle->text(), "  Conversion");
    EXPECT_EQ(w.convdialog->button_go->text(), "Start");
    EXPECT_EQ(w.convdialog->checkbox_overwrite->text(), "Replace existing files");
    EXPECT_EQ(w.progress->Panel_captiontitle->text(), "  Progress");
    EXPECT_EQ(w.progress->button_cancel->text(), "Stop");
    EXPECT_EQ(w.about->panel_captiontitle->text(), "  About us");
    EXPECT_EQ(w.about->Button_ok->text(), "Close");
}

TEST_F(WindowsTest, TheCharacterSetGoesToTheListedControlsOnly) {
    write_ini("[Character]\nCharset=129\n[Messages]\nFC_button_go=Go\n");
    app().charset = 129;
    ProgramWindows w(getmessage_frominifile(CatalogueWindow::Main));
    EXPECT_EQ(w.convdialog->button_go->property("charset").toInt(), 129);
    EXPECT_EQ(w.convdialog->checkbox_overwrite->property("charset").toInt(), 129);
    EXPECT_FALSE(w.convdialog->Button_changeoutfolder->property("charset").isValid());
    EXPECT_EQ(w.progress->label_filecount->property("charset").toInt(), 129);
    EXPECT_EQ(w.about->Button_ok->property("charset").toInt(), 129);
    EXPECT_FALSE(w.about->Label1->property("charset").isValid());
    EXPECT_EQ(w.main->browser().edit_directory->property("charset").toInt(), 129);
    EXPECT_FALSE(w.main->Label_convert->property("charset").isValid());
}

TEST_F(WindowsTest, TheAboutBoxShowsThePictureAndVersionAndTheInfoButtonOpensIt) {
    ProgramWindows w(getmessage_frominifile(CatalogueWindow::Main));
    EXPECT_FALSE(w.about->Image1->pixmap().isNull());
    EXPECT_TRUE(w.about->Label1->text().contains("Version 1.0"));
    bool was_shown = false;
    QTimer::singleShot(0, [&] {
        was_shown = w.about->isVisible() && w.about->isModal();
        w.about->Button_ok->click();
    });
    w.main->button_aboutClick();
    EXPECT_TRUE(was_shown);
    EXPECT_FALSE(w.about->isVisible());
}

TEST_F(WindowsTest, TheProgressDialogDisablesTheMainWindowAndTheVoiceEditor) {
    ProgramWindows w(getmessage_frominifile(CatalogueWindow::Main));
    w.progress->show();
    EXPECT_FALSE(w.main->isEnabled());
    EXPECT_FALSE(w.edit->isEnabled());
    w.progress->close();
    EXPECT_TRUE(w.main->isEnabled());
    EXPECT_TRUE(w.edit->isEnabled());
}

TEST_F(WindowsTest, WhileMaximisedTheIdleRuleKeepsTheFullAvailableHeight) {
    ProgramWindows w(getmessage_frominifile(CatalogueWindow::Main));
    w.main->show();
    const int full = w.main->screen()->availableGeometry().height();
    w.main->button_maximizeClick();
    ASSERT_TRUE(w.main->maximised());
    w.main->resize(w.main->width(), full - 100);
    w.main->OnIdle();
    EXPECT_EQ(w.main->height(), full);
    w.main->button_maximizeClick();
    EXPECT_FALSE(w.main->maximised());
    w.main->resize(700, 400);
    w.main->OnIdle();
    EXPECT_EQ(w.main->height(), 400);
}

TEST_F(WindowsTest, ClosingRemembersThePlaceTheSplitterTheListAndTheConversionChoicesForTheNextStart) {
    const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect place(room.x() + 30, room.y() + 20, room.width() - 100, room.height() - 80);
    const std::string out = dir.file("converted");
    std::filesystem::create_directories(out);
    {
        ProgramWindows w(getmessage_frominifile(CatalogueWindow::Main));
        w.main->show();
        w.main->setGeometry(place);
        w.main->Splitter2->setSizes({180, w.main->Splitter2->width() - 180});
        TFileList& list = *w.main->browser().file_mycomputer;
        list.setViewStyle(ViewStyle::Report);
        list.setColumnWidths({0, 100, 160, 70});
        w.convdialog->set_codec_type(6);
        w.convdialog->edit_outdirectory->setText(QString::fromStdString(out));
        w.main->button_maximizeClick();
        ASSERT_TRUE(w.main->close());
    }
    ProgramWindows again(getmessage_frominifile(CatalogueWindow::Main));
    again.main->show();
    EXPECT_TRUE(again.main->maximised());
    // Back from maximised: the place it had before.
    again.main->button_maximizeClick();
    EXPECT_EQ(again.main->geometry(), place);
    EXPECT_EQ(again.main->Splitter2->sizes().value(0), 180);
    const TFileList& list = *again.main->browser().file_mycomputer;
    EXPECT_EQ(list.viewStyle(), ViewStyle::Report);
    EXPECT_EQ(list.columnWidths(), (std::vector<int>{0, 100, 160, 70}));
    EXPECT_EQ(again.convdialog->codec_type(), 6);
    EXPECT_EQ(again.convdialog->edit_outdirectory->text().toStdString(), out);
}

TEST_F(WindowsTest, TheListHasTheKeyboardWhenTheWindowFirstShows) {
    ProgramWindows w(getmessage_frominifile(CatalogueWindow::Main));
    w.main->show();
    w.main->activateWindow();
    for (int i = 0; i < 50 && !w.main->isActiveWindow(); ++i) QApplication::processEvents();
    ASSERT_TRUE(w.main->isActiveWindow());
    EXPECT_EQ(QApplication::focusWidget(), w.main->browser().file_mycomputer->activeView())
        << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName().toStdString() : "nothing");
}

TEST_F(WindowsTest, ARememberedPlaceOffEveryScreenAndAVanishedFolderAreNotRestored) {
    const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
    write_ini("[Window]\nLeft=-20000\nTop=-20000\nWidth=500\nHeight=400\nMaximized=0\n"
              "Convert_folder=/media/nobody/REC\nList_style=icon\n");
    ProgramWindows w(getmessage_frominifile(CatalogueWindow::Main));
    w.main->show();
    EXPECT_TRUE(room.contains(w.main->geometry())) << "the window is off the screen";
    EXPECT_EQ(w.main->size(), QSize(500, 400).expandedTo(w.main->minimumSize()));
    EXPECT_EQ(w.convdialog->edit_outdirectory->text().toStdString(), app().data_dir);
    EXPECT_EQ(w.main->browser().file_mycomputer->viewStyle(), ViewStyle::Icon);
}

}  // namespace
}  // namespace murrel
