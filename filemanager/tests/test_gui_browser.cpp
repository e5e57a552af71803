// The browser driven through its controls and handlers: the four views kept in
// step, the filter box, the Type column, the information line, the pop-up
// menu, double click and keys, and a recorder arriving and leaving.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QListView>
#include <QStyle>
#include <QTreeView>

#include <filesystem>
#include <functional>
#include <fstream>

#include "filemanager/gui/file_browser.h"
#include "filemanager/tests/fake_browser_options.h"
#include "filemanager/mount_watcher.h"
#include "shell/appstate.h"
#include "testsupport/fake_mounts.h"
#include "testsupport/scripted_dialogs.h"
#include "voicefile/koltheader.h"

namespace murrel {
namespace {

namespace fs = std::filesystem;

void write_voice(const std::string& path, int codec_type, size_t stream_bytes, int mode_override = -1) {
    KoltHeader h{};
    make_koltfileheader(h.data(), codec_type);
    if (mode_override >= 0) h[kolt::kModeCode] = static_cast<uint8_t>(mode_override);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(h.data()), static_cast<std::streamsize>(h.size()));
    out << std::string(stream_bytes, '\0');
}

void write_wav(const std::string& path, uint32_t data_bytes) {
    auto le32 = [](std::ofstream& o, uint32_t v) { for (int i = 0; i < 4; ++i) o.put(static_cast<char>(v >> (8 * i))); };
    auto le16 = [](std::ofstream& o, uint16_t v) { o.put(static_cast<char>(v)); o.put(static_cast<char>(v >> 8)); };
    std::ofstream o(path, std::ios::binary);
    o << "RIFF";
    le32(o, 36 + data_bytes);
    o << "WAVEfmt ";
    le32(o, 16);
    le16(o, 1);
    le16(o, 1);
    le32(o, 16000);
    le32(o, 32000);
    le16(o, 2);
    le16(o, 16);
    o << "data";
    le32(o, data_bytes);
    o << std::string(data_bytes, '\0');
}

class Browser : public ::testing::Test {
protected:
    void SetUp() override {
        app().reset();
        data = fake.home() + "/voicedata";
        fs::create_directories(data + "/sub");
        write_voice(data + "/sp.vkd", 5, 120000);      // 120,512 bytes: one minute
        write_voice(data + "/hq.vkd", 6, 4000);
        write_voice(data + "/shq.vkd", 7, 4000);
        write_voice(data + "/old.vkd", 5, 100, 1);      // mode code 1: keeps its type name
        write_wav(data + "/take.wav", 3072);
        std::ofstream(data + "/notes.txt") << "hello";
        std::ofstream(data + "/test") << "t";
        app().data_dir = data;

        ini = fake.home() + "/FileManager.ini";
        std::ofstream(ini) << "[FileSystemMessages]\nFileSystem0=cannot open\nFileSystem2=Not ready:\n"
                              "FileSystem24=Name\nFileSystem29=Size\nFileSystem25=Type\n"
                              "FileSystem30=Modified\nFileSystem31=Attributes\n";

        BrowserOptions options = fake_browser_options(fake, ini);
        options.locale = QLocale(QLocale::English, QLocale::UnitedStates);
        browser = std::make_unique<TFileBrowser>(&host, options);
        browser->host.play_selection = [this] { ++plays; };
        browser->host.copy_selection = [this] { ++copies; };
        browser->host.delete_selected = [this] { ++deletes; };
        browser->host.player_open = [this] { return player_open; };
        browser->host.recording = [this] { return recording; };
        browser->host.clipboard_file_count = [this] { return clipboard_files; };
        browser->open_at(data);
        browser->FormShow();
        host.resize(800, 600);
    }

    TFileList& list() { return *browser->file_mycomputer; }
    TDirectoryTree& tree() { return *browser->directory_mycomputer; }
    std::string edit() { return browser->edit_directory->text().toStdString(); }

    int row_of(const std::string& caption) {
        for (int r = 0; r < list().count(); ++r)
            if (list().caption(r).toStdString() == caption) return r;
        return -1;
    }
    std::vector<std::string> captions() {
        std::vector<std::string> out;
        for (int r = 0; r < list().count(); ++r) out.push_back(list().caption(r).toStdString());
        return out;
    }
    void select_only(std::initializer_list<const char*> names) {
        list().clearSelection();
        for (const char* n : names) list().setSelected(row_of(n), true);
    }
    void press_enter(QWidget* w) { QTest::keyClick(w, Qt::Key_Return); }
    // The host on screen and active, so that keys reach whichever widget has
    // the focus as they would from the keyboard.
    // QtTest's QTRY macros report to QtTest, not to this suite: wait here.
    static bool wait_until(const std::function<bool()>& condition, int ms = 3000) {
        QElapsedTimer clock;
        clock.start();
        while (!condition() && clock.elapsed() < ms) QTest::qWait(20);
        return condition();
    }
    void show_active() {
        host.show();
        QApplication::setActiveWindow(&host);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
    }

    testsupport::FakeMountTable fake;
    testsupport::ScriptedDialogs dialogs;
    std::string data, ini;
    QWidget host;
    std::unique_ptr<TFileBrowser> browser;
    int plays = 0, copies = 0, deletes = 0, clipboard_files = 0;
    bool player_open = false, recording = false;
};

TEST_F(Browser, StartsAtTheDataFolderWithTheDrivesRootAndOneNodePerVolume) {
    EXPECT_EQ(tree().SelectedPath(), data + "/");
    EXPECT_EQ(edit(), data + "/");
    EXPECT_EQ(list().Directory(), data + "/");
    EXPECT_EQ(browser->combo_drive->Drive(), fake.home());
    EXPECT_EQ(browser->combo_filefilter->currentText(), "*.*");
    EXPECT_EQ(browser->combo_filefilter->count(), 4);
    QTreeWidgetItem* root = tree().rootNode();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->text(0), "Drives");
    ASSERT_EQ(root->childCount(), 2);
    EXPECT_EQ(root->child(0)->text(0), "System");
    EXPECT_EQ(root->child(1)->text(0), "Home");
    EXPECT_EQ(browser->combo_drive->count(), 2);
    EXPECT_EQ(browser->texts().text(2), "Not ready:");
}

TEST_F(Browser, FoldersFirstThenVoiceFilesThenWavFiles) {
    browser->combo_filefilter->setEditText("*.vkd;*.wav");
    EXPECT_EQ(captions(), (std::vector<std::string>{"sub", "hq.vkd", "old.vkd", "shq.vkd", "sp.vkd", "take.wav"}));
}

TEST_F(Browser, TypingWavAndEnterBecomesStarDotWavAppendedOnce) {
    QLineEdit* line = browser->combo_filefilter->lineEdit();
    const int items = browser->combo_filefilter->count();
    browser->combo_filefilter->setEditText("wav");
    press_enter(line);
    EXPECT_EQ(browser->combo_filefilter->currentText(), "*.wav");
    EXPECT_EQ(browser->combo_filefilter->count(), items);  // "*.wav" is already an item
    browser->combo_filefilter->setEditText(" txt ");
    press_enter(line);
    EXPECT_EQ(browser->combo_filefilter->currentText(), "*.txt");
    EXPECT_EQ(browser->combo_filefilter->count(), items + 1);
    press_enter(line);
    EXPECT_EQ(browser->combo_filefilter->count(), items + 1);
    EXPECT_EQ(captions(), (std::vector<std::string>{"sub", "notes.txt"}));
    browser->combo_filefilter->setEditText("test");
    press_enter(line);
    EXPECT_EQ(browser->combo_filefilter->currentText(), "test");
    EXPECT_EQ(captions(), (std::vector<std::string>{"sub", "test"}));
}

TEST_F(Browser, FilterChangeInIconViewKeepsTheViewStyle) {
    browser->button_fileviewtypeClick();  // report -> icon
    ASSERT_EQ(list().viewStyle(), ViewStyle::Icon);
    browser->combo_filefilter->setEditText("*.wav");
    EXPECT_EQ(list().viewStyle(), ViewStyle::Icon);
    EXPECT_EQ(captions(), (std::vector<std::string>{"sub", "take.wav"}));
}

TEST_F(Browser, ViewStyleCyclesThroughAllFourAndKeepsTheSelection) {
    select_only({"sp.vkd", "take.wav"});
    const ViewStyle order[] = {ViewStyle::Icon, ViewStyle::SmallIcon, ViewStyle::List, ViewStyle::Report};
    for (ViewStyle expected : order) {
        browser->button_fileviewtypeClick();
        EXPECT_EQ(list().viewStyle(), expected);
        EXPECT_EQ(list().SelCount(), 2);
    }
}

TEST_F(Browser, TreeAddressListAndSelectorFollowEachOther) {
    // A folder picked in the tree.
    tree().findNode(data)->setExpanded(true);
    QTreeWidgetItem* sub = tree().findNode(data + "/sub");
    ASSERT_NE(sub, nullptr);
    tree().setCurrentItem(sub);
    EXPECT_EQ(edit(), data + "/sub/");
    EXPECT_EQ(list().Directory(), data + "/sub/");

    // The root: address empty, the list shows the volumes.
    tree().setCurrentItem(tree().rootNode());
    EXPECT_EQ(edit(), "");
    EXPECT_EQ(list().Directory(), "Drives");
    EXPECT_EQ(captions(), (std::vector<std::string>{"System", "Home"}));

    // A typed folder and Enter.
    browser->edit_directory->setText(QString::fromStdString(data));
    press_enter(browser->edit_directory);
    EXPECT_EQ(tree().SelectedPath(), data + "/");
    EXPECT_EQ(list().Directory(), data + "/");
    EXPECT_EQ(tree().currentItem(), tree().findNode(data));

    // A typed folder that does not exist: the tree's path comes back, list unchanged.
    browser->edit_directory->setText("/no/such/place");
    press_enter(browser->edit_directory);
    EXPECT_EQ(edit(), data + "/");
    EXPECT_EQ(list().Directory(), data + "/");

    // A volume picked in the selector.
    browser->combo_drive->setDrive("/");
    browser->combo_driveChange();
    EXPECT_EQ(edit(), "/");
    EXPECT_EQ(list().Directory(), "/");
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(Browser, OneLevelUpClimbsToTheVolumeAndThenToTheDrives) {
    browser->button_onelabelupClick();
    EXPECT_EQ(list().Directory(), fake.home() + "/");
    EXPECT_EQ(edit(), fake.home() + "/");
    EXPECT_GE(row_of("voicedata"), 0);
    browser->button_onelabelupClick();
    EXPECT_EQ(list().Directory(), "Drives");
    EXPECT_EQ(tree().SelectedPath(), "Drives");
    EXPECT_EQ(edit(), "");
}

TEST_F(Browser, VoiceFilesShowTheirRecordingModeInTheTypeColumn) {
    EXPECT_EQ(list().subItem(row_of("sp.vkd"), 2), "vkd file-sp");
    EXPECT_EQ(list().subItem(row_of("hq.vkd"), 2), "vkd file-hq");
    EXPECT_EQ(list().subItem(row_of("shq.vkd"), 2), "vkd file-shq");
    EXPECT_EQ(list().subItem(row_of("old.vkd"), 2), "VKD File");
    EXPECT_NE(list().subItem(row_of("take.wav"), 2), "");
    auto* report = qobject_cast<QTreeView*>(list().activeView());
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(report->model()->headerData(2, Qt::Horizontal).toString(), "Type");
    EXPECT_EQ(report->model()->headerData(1, Qt::Horizontal).toString(), "Size");
}

TEST_F(Browser, InformationLineForOneVoiceFileOneWavFileThreeFilesAndNone) {
    select_only({"sp.vkd"});
    EXPECT_EQ(browser->info_line(), "  16.00 Kbps, Mono [00:01:00],  117.69 Kbytes");
    select_only({"take.wav"});
    EXPECT_EQ(browser->info_line(), "1  selected file(s),  3.04 Kbytes");  // 3,116 bytes
    select_only({"hq.vkd", "take.wav", "notes.txt"});
    EXPECT_EQ(browser->info_line(), "3  selected file(s),  7.45 Kbytes");  // 4,512 + 3,116 + 5 bytes
    list().clearSelection();
    EXPECT_EQ(browser->info_line(), "0  selected file(s),  0.00 Kbytes");
    select_only({"sub"});
    EXPECT_EQ(browser->info_line(), "1  selected file(s),  0.00 Kbytes");
}

TEST_F(Browser, RightClickingAWavWhilePlayingEnablesOnlyPasteAndSelectAll) {
    player_open = true;
    clipboard_files = 2;
    auto* report = qobject_cast<QTreeView*>(list().activeView());
    ASSERT_NE(report, nullptr);
    host.show();
    const QRect rect = report->visualRect(report->model()->index(row_of("take.wav"), 0));
    QTest::mouseClick(report->viewport(), Qt::RightButton, Qt::NoModifier, rect.center());
    EXPECT_EQ(list().SelCount(), 1);
    EXPECT_TRUE(browser->popup_file->isVisible());
    browser->popup_file->hide();
    PopupItems expected;
    expected.paste = true;
    expected.select_all = true;
    EXPECT_EQ(browser->popup_state(), expected);
    EXPECT_TRUE(browser->paste_available);

    player_open = false;
    clipboard_files = 0;
    QTest::mouseClick(report->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    EXPECT_TRUE(browser->P_hddconvert->isEnabled());
    EXPECT_FALSE(browser->P_hddpaste->isEnabled());

    recording = true;  // while recording the menu is left alone
    player_open = true;
    QTest::mouseClick(report->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    EXPECT_TRUE(browser->P_hddconvert->isEnabled());
}

TEST_F(Browser, DoubleClickOpensFoldersAndPlaysFiles) {
    select_only({"sub"});
    browser->file_mycomputerDblClick();
    EXPECT_EQ(list().Directory(), data + "/sub/");
    EXPECT_EQ(edit(), data + "/sub/");
    browser->button_onelabelupClick();
    select_only({"sp.vkd"});
    browser->file_mycomputerDblClick();
    EXPECT_EQ(plays, 1);
}

TEST_F(Browser, KeysInTheListCopyPlayAndDeleteOnlyWhenAllowed) {
    select_only({"sp.vkd"});
    QWidget* view = list().activeView();
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(copies, 1);
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(copies, 1);
    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_EQ(plays, 1);
    player_open = true;
    QTest::keyClick(view, Qt::Key_Delete);
    EXPECT_EQ(deletes, 0);
    player_open = false;
    QTest::keyClick(view, Qt::Key_Delete);
    EXPECT_EQ(deletes, 1);
}

TEST_F(Browser, AFileTheDesktopCannotOpenGivesTheErrorBox) {
    list().open_file = [](const std::string&) { return false; };
    select_only({"notes.txt"});
    list().OpenSelected();
    ASSERT_EQ(dialogs.texts(), (std::vector<std::string>{"ERROR - cannot open : notes.txt"}));
    EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::Error);
}

TEST_F(Browser, PluggingTheRecorderInAndPullingItOutFollowsTheMountTable) {
    QSignalSpy spy(&browser->watcher(), &MountWatcher::changed);
    const std::string rec = fake.plug_in("RECORDER");
    ASSERT_TRUE(QTest::qWaitFor([&] { return spy.count() >= 1; }, 3000));
    QTreeWidgetItem* root = tree().rootNode();
    ASSERT_EQ(root->childCount(), 3);
    EXPECT_EQ(root->child(2)->text(0), "RECORDER");
    EXPECT_EQ(list().Directory(), data + "/");  // the browsed folder still exists

    // Browse into the recorder, then pull it out: back to the data folder.
    fs::create_directories(rec + "/FOLDER_A");
    write_voice(rec + "/FOLDER_A/DW_A0001.vkd", 5, 2000);
    browser->edit_directory->setText(QString::fromStdString(rec + "/FOLDER_A"));
    press_enter(browser->edit_directory);
    EXPECT_EQ(tree().SelectedPath(), rec + "/FOLDER_A/");
    EXPECT_EQ(edit(), rec + "/FOLDER_A/");
    EXPECT_EQ(browser->combo_drive->Drive(), rec);
    EXPECT_EQ(captions(), (std::vector<std::string>{"DW_A0001.vkd"}));
    fake.pull_out("RECORDER");
    ASSERT_TRUE(QTest::qWaitFor([&] { return spy.count() >= 2; }, 3000));
    EXPECT_EQ(tree().rootNode()->childCount(), 2);
    EXPECT_EQ(tree().SelectedPath(), data + "/");
    EXPECT_EQ(edit(), data + "/");
    EXPECT_EQ(list().Directory(), data + "/");
}

TEST_F(Browser, ARecorderMountedOverTheShownFolderIsListedAfresh) {
    // The empty mount point is being shown when the recorder arrives on it.
    const std::string point = fake.media_root() + "/REC";
    fs::create_directories(point);
    browser->edit_directory->setText(QString::fromStdString(point));
    press_enter(browser->edit_directory);
    ASSERT_EQ(list().count(), 0);
    write_voice(point + "/memo.vkd", 6, 100);
    browser->watcher().check_now();  // nothing in the table changed yet
    EXPECT_EQ(list().count(), 0);
    fake.plug_in("REC");
    browser->watcher().check_now();
    EXPECT_EQ(edit(), point + "/");
    EXPECT_EQ(captions(), (std::vector<std::string>{"memo.vkd"}));
    EXPECT_EQ(tree().currentItem()->text(0), "REC");
}

TEST_F(Browser, AVanishedVolumeGetsTheNotReadyWarning) {
    const std::string rec = fake.plug_in("REC");
    browser->combo_drive->rebuild();
    tree().ReloadTree();
    fake.pull_out("REC");  // not yet noticed: no events processed
    ASSERT_TRUE(browser->combo_drive->setDrive(rec));
    browser->combo_driveChange();
    ASSERT_EQ(dialogs.texts(), (std::vector<std::string>{"Not ready: REC"}));
    EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::Warning);
    EXPECT_EQ(browser->combo_drive->Drive(), fake.home());
    EXPECT_EQ(list().Directory(), data + "/");

    // The same from the volumes view, by double click.
    fake.plug_in("REC");
    tree().setCurrentItem(tree().rootNode());
    ASSERT_EQ(list().Directory(), "Drives");
    list().RefreshList();
    fake.pull_out("REC");
    select_only({"REC"});
    browser->file_mycomputerDblClick();
    EXPECT_EQ(dialogs.texts().back(), "Not ready: REC");
    EXPECT_EQ(list().Directory(), "Drives");
}

TEST_F(Browser, TreeDeletesOnlyFoldersBelowVolumeLevelAndF5Reloads) {
    std::vector<std::string> asked;
    tree().delete_folder = [&](const std::string& folder) {
        asked.push_back(folder);
        return fs::remove_all(folder) > 0;
    };
    EXPECT_FALSE(tree().DeleteFolder(tree().rootNode()));
    EXPECT_FALSE(tree().DeleteFolder(tree().rootNode()->child(1)));  // the home volume
    EXPECT_TRUE(asked.empty());

    tree().findNode(data)->setExpanded(true);
    tree().setCurrentItem(tree().findNode(data + "/sub"));
    ASSERT_EQ(list().Directory(), data + "/sub/");
    QTest::keyClick(&tree(), Qt::Key_Delete);
    EXPECT_EQ(asked, (std::vector<std::string>{data + "/sub"}));
    EXPECT_FALSE(fs::exists(data + "/sub"));
    EXPECT_EQ(list().Directory(), data + "/");
    EXPECT_EQ(edit(), data + "/");
    EXPECT_EQ(tree().findNode(data + "/sub"), nullptr);

    fs::create_directories(data + "/later");
    QTest::keyClick(&tree(), Qt::Key_F5);
    EXPECT_EQ(tree().SelectedPath(), data + "/");
    tree().findNode(data)->setExpanded(true);
    EXPECT_NE(tree().findNode(data + "/later"), nullptr);
}

TEST_F(Browser, KeysTypedIntoTheFocusedFilterBoxAndF5InTheListActAsTheirLabelsSay) {
    show_active();
    browser->combo_filefilter->setFocus();
    QWidget* typing = QApplication::focusWidget();
    ASSERT_NE(typing, nullptr);
    QTest::keyClick(typing, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(typing, "wav");
    QTest::keyClick(typing, Qt::Key_Return);
    EXPECT_EQ(browser->combo_filefilter->currentText(), "*.wav");
    EXPECT_EQ(captions(), (std::vector<std::string>{"sub", "take.wav"}));

    write_wav(data + "/later.wav", 64);
    list().activeView()->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F5);
    EXPECT_EQ(captions(), (std::vector<std::string>{"sub", "later.wav", "take.wav"}));
}

TEST_F(Browser, FilesOtherProgramsChangeAreListedInOneRefillThatKeepsTheSelection) {
    select_only({"take.wav", "sp.vkd"});
    QSignalSpy selection_signals(&list(), &TFileList::OnSelectItem);
    for (int i = 0; i < 5; ++i) write_wav(data + "/burst" + std::to_string(i) + ".wav", 64);
    fs::remove(data + "/notes.txt");
    ASSERT_TRUE(wait_until([&] { return row_of("burst4.wav") >= 0; })) << "the new files are not listed";
    QTest::qWait(400);  // nothing more arrives after the one refill
    EXPECT_EQ(row_of("notes.txt"), -1);
    EXPECT_LE(selection_signals.count(), 2);
    EXPECT_TRUE(list().isSelected(row_of("take.wav")));
    EXPECT_TRUE(list().isSelected(row_of("sp.vkd")));
    EXPECT_EQ(list().SelCount(), 2);
    EXPECT_EQ(list().subItem(row_of("sp.vkd"), 2), "vkd file-sp");  // the Type column is filled again

    // A file whose content another program rewrites: its size follows.
    select_only({"take.wav"});
    const QString before = list().subItem(row_of("take.wav"), 1);
    write_wav(data + "/take.wav", 400000);
    EXPECT_TRUE(wait_until([&] { return list().subItem(row_of("take.wav"), 1) != before; }));
    EXPECT_TRUE(list().isSelected(row_of("take.wav")));
}

TEST_F(Browser, TheNameColumnTakesEveryExtraPixelAndTheOtherColumnsShowTheirWholeText) {
    show_active();
    QTreeView* report = list().reportView();
    QHeaderView* header = report->header();
    auto columns_width = [&] {
        int sum = 0;
        for (int c = 0; c < header->count(); ++c) sum += header->sectionSize(c);
        return sum;
    };
    list().resize(600, 300);
    QApplication::processEvents();
    const int name_small = header->sectionSize(0);
    EXPECT_EQ(columns_width(), report->viewport()->width());
    list().resize(1400, 300);
    QApplication::processEvents();
    EXPECT_EQ(columns_width(), report->viewport()->width());  // no empty strip after the last column
    EXPECT_EQ(header->sectionSize(0) - name_small, 800);
    const QFontMetrics metrics(report->font());
    // The item delegate keeps this much free on either side of a cell's text.
    const int margin = report->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, report) + 1;
    for (int column = 1; column < header->count(); ++column)
        for (int row = 0; row < list().count(); ++row) {
            const QString text = list().subItem(row, column);
            EXPECT_GE(header->sectionSize(column), metrics.horizontalAdvance(text) + 2 * margin)
                << "column " << column << " cuts " << text.toStdString();
        }
}

TEST_F(Browser, AColumnWidthTheUserDraggedSurvivesRefillsAndTheOthersStillFitTheirText) {
    show_active();
    QHeaderView* header = list().reportView()->header();
    const int type_fitted = header->sectionSize(2);
    EXPECT_EQ(list().columnWidths(), (std::vector<int>{0, 0, 0, 0}));
    header->resizeSection(1, 150);  // what dragging the Size column's edge does
    EXPECT_EQ(list().columnWidths(), (std::vector<int>{150, 0, 0, 0}));
    list().RefreshList();
    QApplication::processEvents();
    EXPECT_EQ(header->sectionSize(1), 150);
    EXPECT_EQ(header->sectionSize(2), type_fitted);
    EXPECT_EQ(list().columnWidths(), (std::vector<int>{150, 0, 0, 0})) << "a refill counted as the user's choice";
}

TEST_F(Browser, TheListStylesShowWholeNamesBigIconsAndNoEntryOverAnother) {
    for (const char* name : {"memo1.vkd", "a_rather_long_dictation_name.wav", "x.wav"})
        write_wav(data + "/" + name, 64);
    list().RefreshList();
    show_active();
    list().resize(700, 400);
    QListView* view = list().listView();
    const QFontMetrics metrics(view->font());
    for (ViewStyle style : {ViewStyle::Icon, ViewStyle::SmallIcon, ViewStyle::List}) {
        list().setViewStyle(style);
        QApplication::processEvents();
        SCOPED_TRACE(testing::Message() << "style " << static_cast<int>(style));
        std::vector<QRect> cells;
        for (int row = 0; row < list().count(); ++row) {
            const QRect cell = view->visualRect(view->model()->index(row, 0));
            for (const QRect& other : cells) EXPECT_FALSE(cell.intersects(other)) << list().caption(row).toStdString();
            cells.push_back(cell);
            if (style != ViewStyle::Icon)
                EXPECT_GE(cell.width(), metrics.horizontalAdvance(list().caption(row)) + view->iconSize().width())
                    << list().caption(row).toStdString();
        }
    }
    list().setViewStyle(ViewStyle::Icon);
    EXPECT_GE(view->iconSize().width(), 48);
}

}  // namespace
}  // namespace murrel
