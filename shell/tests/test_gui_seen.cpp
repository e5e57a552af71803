// What a user sees of the assembled windows: the information line repainted
// whole, the playback display never squeezed over itself, every dialog dark
// with legible text and centred over its owner, the about text whole, and the
// program's icon on every window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QElapsedTimer>
#include <QTimer>
#include <QWindow>

#include <cmath>
#include <fstream>
#include <optional>
#include <functional>

#include "shell/appstate.h"
#include "shell/tests/program_folder.h"
#include "shell/catalogue.h"
#include "shell/gui/form_about.h"
#include "shell/gui/form_edit.h"
#include "shell/gui/form_main.h"
#include "shell/gui/program_windows.h"
#include "player/gui/led_text.h"
#include "player/gui/player_panel.h"
#include "player/playerstrip.h"
#include "filemanager/gui/file_list.h"
#include "testsupport/scratch_dir.h"
#include "testsupport/scripted_dialogs.h"
#include "ui/panels.h"
#include "ui/qt_dialog_service.h"
#include "ui/skin.h"
#include "voicefile/gui/form_convdialog.h"
#include "voicefile/gui/form_progress.h"

namespace murrel {
namespace {

// WCAG's relative luminance and contrast ratio.
double luminance(const QColor& c) {
    auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}
double contrast(const QColor& a, const QColor& b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// What a window's backing store holds, as the screen shows it.
QImage on_screen(QWidget* window) {
    QApplication::processEvents();
    return window->screen()->grabWindow(window->winId()).toImage();
}

class SeenTest : public testing::Test {
protected:
    void SetUp() override {
        use_scratch_program_folder(dir);
        windows = std::make_unique<ProgramWindows>(getmessage_frominifile(CatalogueWindow::Main));
        // Small enough that a dialog centred over it stays on the 800 × 600
        // offscreen screen, where it would otherwise be moved back inside.
        main()->setGeometry(30, 20, 700, 540);
        main()->show();
        QApplication::setActiveWindow(main());
        QElapsedTimer clock;
        clock.start();
        while (!main()->windowHandle()->isExposed() && clock.elapsed() < 5000) QApplication::processEvents();
        ASSERT_TRUE(main()->windowHandle()->isExposed());
    }
    void TearDown() override {
        windows.reset();
        app().reset();
    }
    TForm_main* main() { return windows->main.get(); }

    // Runs `look` on the modal dialog `open` brings up, then closes it.
    static void inspect_modal(const std::function<void()>& open, const std::function<void(QWidget*)>& look) {
        bool looked = false;
        QTimer::singleShot(0, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            ASSERT_NE(dialog, nullptr);
            look(dialog);
            looked = true;
            if (auto* d = qobject_cast<QDialog*>(dialog)) d->reject();
        });
        open();
        EXPECT_TRUE(looked);
    }

    static void expect_centred_over(const QWidget* dialog, const QWidget* owner) {
        const QPoint offset = dialog->geometry().center() - owner->geometry().center();
        EXPECT_LE(offset.manhattanLength(), 2) << dialog->objectName().toStdString() << " is off by " << offset.x()
                                               << "," << offset.y() << " (" << dialog->geometry().x() << "," << dialog->geometry().y() << " "
                                               << dialog->width() << "x" << dialog->height() << " over "
                                               << owner->geometry().x() << "," << owner->geometry().y() << ")";
    }

    // Every visible label of `dialog` against the dialog's background.
    static void expect_legible(QWidget* dialog) {
        const QColor background = dialog->palette().color(QPalette::Window);
        EXPECT_LT(background.lightness(), 80) << "a light dialog";
        int labels = 0;
        for (QLabel* label : dialog->findChildren<QLabel*>()) {
            if (!label->isVisible() || !label->isEnabled() || label->text().isEmpty()) continue;
            label->ensurePolished();
            const QColor text = label->palette().color(QPalette::WindowText);
            EXPECT_GE(contrast(text, background), 4.5) << label->text().toStdString();
            ++labels;
        }
        EXPECT_GT(labels, 0);
    }

    testsupport::ScratchDir dir;
    testsupport::ScriptedDialogs dialogs;
    std::unique_ptr<ProgramWindows> windows;
};

TEST_F(SeenTest, TheInformationLineIsRepaintedWholeWhenItsTextShortens) {
    QLabel* line = main()->browser().Panel_downcaption;
    line->setText(QString(90, QChar('W')));
    on_screen(main());
    line->setText("0  selected file(s),  0.00 Kbytes");
    const QImage shot = on_screen(main());
    const QRect band(line->mapTo(main(), QPoint(0, 0)), line->size());
    const int text_end = band.left() + 8 + line->fontMetrics().horizontalAdvance(line->text());
    const QRgb background = shot.pixel(band.right() - 2, band.center().y());
    int stale = 0;
    for (int y = band.top() + 2; y < band.bottom() - 2; ++y)
        for (int x = text_end; x < band.right() - 2; ++x) stale += shot.pixel(x, y) != background;
    EXPECT_EQ(stale, 0) << "pixels of the longer text are left behind";
}

// A readout squeezed below its natural width paints its digits over its
// neighbours; at the smallest window each keeps its width and the display's
// right end is cut off by the band instead.
TEST_F(SeenTest, AtTheSmallestWindowNoReadoutOfThePlaybackDisplayIsSqueezed) {
    main()->resize(main()->minimumSize());
    QApplication::processEvents();
    int readouts = 0;
    for (QWidget* w : main()->Panel1->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!w->isVisible() || !w->sizeHint().isValid()) continue;
        EXPECT_GE(w->width(), w->sizeHint().width()) << w->objectName().toStdString();
        EXPECT_GE(w->width(), w->minimumWidth()) << w->objectName().toStdString();
        ++readouts;
    }
    EXPECT_GT(readouts, 5);
    EXPECT_EQ(main()->Panel1->parentWidget()->width(), main()->width() - 2 * TForm_main::kEdgeWidth);
}

TEST_F(SeenTest, AtTheOpeningWidthTheWholeDisplayIsShownWithRoomForTheFileName) {
    main()->resize(853, 612);
    QApplication::processEvents();
    QWidget* band = main()->Panel1->parentWidget();
    const QRect shown(QPoint(0, 0), band->size());
    int readouts = 0;
    for (QWidget* w : main()->Panel1->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!w->isVisible()) continue;
        const QRect at(w->mapTo(band, QPoint(0, 0)), w->size());
        EXPECT_TRUE(shown.contains(at)) << w->objectName().toStdString() << " runs off the display";
        ++readouts;
    }
    EXPECT_GT(readouts, 5);
    PlayerPanel* panel = windows->player_panel.get();
    ASSERT_NE(panel, nullptr);
    EXPECT_GE(panel->label_filename->width(), 100);
}

TEST_F(SeenTest, MessageBoxesAndFileDialogsAreDarkWithLegibleText) {
    ui::QtDialogService service;
    inspect_modal(
        [&] {
            MessageRequest request;
            request.caption = "Murrelphonic";
            request.text = "No sound output device was found.";
            request.icon = MessageIcon::Warning;
            service.message_box(request);
        },
        [&](QWidget* box) {
            ASSERT_NE(qobject_cast<QMessageBox*>(box), nullptr);
            expect_legible(box);
            expect_centred_over(box, main());
            EXPECT_FALSE(box->windowIcon().isNull());
        });
    inspect_modal(
        [&] {
            FileDialogRequest request;
            request.title = "Save";
            request.folder = app().data_dir;
            request.filter = "Voice files (*.vkd)";
            service.save_file(request);
        },
        [&](QWidget* chooser) {
            auto* dialog = qobject_cast<QFileDialog*>(chooser);
            ASSERT_NE(dialog, nullptr);
            EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
            for (const char* name : {"lookInLabel", "fileNameLabel", "fileTypeLabel"})
                EXPECT_NE(dialog->findChild<QLabel*>(name), nullptr) << name;
            expect_legible(dialog);
            expect_centred_over(dialog, main());
        });
}

TEST_F(SeenTest, TheProgramsDialogsOpenCentredOverTheMainWindowAndTheAboutTextFits) {
    windows->convdialog->show();
    QApplication::processEvents();
    expect_centred_over(windows->convdialog.get(), main());
    windows->convdialog->hide();
    windows->progress->show();
    QApplication::processEvents();
    expect_centred_over(windows->progress.get(), main());
    windows->progress->close();

    main()->move(60, 40);
    inspect_modal([&] { main()->button_aboutClick(); },
                  [&](QWidget* about) {
                      expect_centred_over(about, main());
                      QLabel* text = windows->about->Label1;
                      EXPECT_GE(text->contentsRect().width(), text->sizeHint().width()) << "the about text is cut";
                      EXPECT_TRUE(about->rect().contains(text->geometry()));
                      expect_legible(about);
                  });
}

// An entry whose file another program removed before the list caught up:
// playing it says the file is gone (not that it is invalid) and the list
// catches up; a file that is there plays as before.
TEST_F(SeenTest, PlayingAStaleEntrySaysTheFileIsGoneAndRefreshesTheList) {
    const std::string gone = app().data_dir + "/gone.wav", kept = app().data_dir + "/kept.wav";
    std::ofstream(gone) << "RIFF";
    std::ofstream(kept) << "RIFF";
    TFileList& list = *main()->browser().file_mycomputer;
    list.RefreshList();
    auto row_of = [&](const char* name) {
        for (int r = 0; r < list.count(); ++r)
            if (list.caption(r) == name) return r;
        return -1;
    };
    list.setSelected(row_of("gone.wav"), true);
    std::filesystem::remove(gone);
    EXPECT_EQ(windows->player->SelectedFile(), std::nullopt);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(dialogs.messages[0].text.find("gone.wav no longer exists"), std::string::npos);
    EXPECT_EQ(row_of("gone.wav"), -1);
    list.clearSelection();
    list.setSelected(row_of("kept.wav"), true);
    EXPECT_EQ(windows->player->SelectedFile(), kept);
    EXPECT_EQ(dialogs.messages.size(), 1u);
}

TEST_F(SeenTest, EveryWindowCarriesTheProgramsLogo) {
    const QImage expected = ui::program_icon().pixmap(32).toImage();
    ASSERT_FALSE(expected.isNull());
    const std::vector<QWidget*> all{main(), windows->convdialog.get(), windows->progress.get(), windows->about.get(),
                                    windows->edit.get()};
    for (QWidget* w : all) {
        EXPECT_EQ(w->windowIcon().pixmap(32).toImage(), expected) << w->objectName().toStdString();
    }
}

}  // namespace
}  // namespace murrel
