// The program on a screen that scales the interface by two (as a desktop set
// to 200 % does), beside the same at one: screenshots of the main window and
// the Voice Editor at both scales, and the skin judged against the pictures
// it was painted from: at two device pixels per pixel a button on the screen
// is its sharp picture pixel for pixel, not the plain one enlarged.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <limits>

#include "shell/app/tests/e2e_layout.h"
#include "testsupport/e2e/desktop.h"

using namespace murrel::e2e;
namespace fs = std::filesystem;

namespace {

constexpr int kRate = 16000;

fs::path skin_folder() { return fs::path(MURREL_BIN_DIR).parent_path() / "resources" / "skin"; }

// One state of a button strip (four states side by side).
QImage state_of(const QImage& strip, int state) {
    const int w = strip.width() / 4;
    return strip.copy(state * w, 0, w, strip.height()).convertToFormat(QImage::Format_ARGB32);
}

// The smallest mean difference per colour channel between `picture`'s opaque
// pixels and the screen, over every placement within `radius` of `near`.
double best_match(const QImage& screen, const QImage& picture, QPoint near, int radius, QPoint* at = nullptr) {
    double best = std::numeric_limits<double>::max();
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx) {
            const QPoint o = near + QPoint(dx, dy);
            double sum = 0;
            long n = 0;
            for (int y = 0; y < picture.height(); ++y)
                for (int x = 0; x < picture.width(); ++x) {
                    const QRgb p = picture.pixel(x, y);
                    if (qAlpha(p) != 255 || !screen.rect().contains(o + QPoint(x, y))) continue;
                    const QRgb s = screen.pixel(o + QPoint(x, y));
                    sum += std::abs(qRed(p) - qRed(s)) + std::abs(qGreen(p) - qGreen(s)) + std::abs(qBlue(p) - qBlue(s));
                    n += 3;
                }
            if (n > picture.width() * picture.height() && sum / n < best) {
                best = sum / n;
                if (at) *at = o;
            }
        }
    return best;
}

// The opaque pixels of `picture` placed at `at` that differ from the screen
// by more than `tolerance` in a channel.
int differing(const QImage& screen, const QImage& picture, QPoint at, int tolerance = 6) {
    int count = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb p = picture.pixel(x, y);
            if (qAlpha(p) != 255) continue;
            const QRgb s = screen.pixel(at + QPoint(x, y));
            if (std::abs(qRed(p) - qRed(s)) > tolerance || std::abs(qGreen(p) - qGreen(s)) > tolerance ||
                std::abs(qBlue(p) - qBlue(s)) > tolerance)
                ++count;
        }
    return count;
}

class Scaled : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (sound_server(why).empty()) {
            if (std::getenv("CI")) FAIL() << why;
            GTEST_SKIP() << why;
        }
        std::vector<int16_t> s(kRate * 6);
        for (size_t i = 0; i < s.size(); ++i)
            s[i] = static_cast<int16_t>(9000 * std::sin(2 * M_PI * 440 * double(i) / kRate) *
                                        std::sin(M_PI * double(i) / double(s.size())));
        write_wav16((program.folders().data() / "memo.wav").string(), s, kRate, 1);
    }

    // Starts at `scale`, keeps screenshots of the main window and of the
    // editor with memo.wav; the main window's screenshot.
    QImage main_and_editor(int scale) {
        if (scale != 1) program.environment["QT_SCALE_FACTOR"] = std::to_string(scale);
        EXPECT_GT(program.start(), 0);
        const unsigned long main = program.main_window();
        EXPECT_NE(main, 0u);
        if (!main) return {};
        const QSize size = program.geometry(main).size();
        EXPECT_EQ(size, QSize(layout::kWidth * scale, layout::kHeight * scale)) << "the window's opening size";
        // The pointer away from every button, which it would light.
        program.move_to(layout::kListEmpty * scale);
        layout::pause_s(0.6);
        const std::string suffix = "_" + std::to_string(scale) + "x";
        const QImage shot = program.shot("hidpi_main" + suffix);
        program.click(layout::list_row(0) * scale);
        program.click(layout::kWavEdit * scale);
        const auto editor = program.find_window("^Voice Editor$", 10s);
        EXPECT_TRUE(editor) << "the editor did not open";
        if (editor) {
            layout::pause_s(1.2);
            program.shot("hidpi_editor" + suffix, *editor);
        }
        return shot;
    }

    Program program;
};

TEST_F(Scaled, AtScaleOneTheWindowsShowThePlainPictures) {
    const QImage shot = main_and_editor(1);
    ASSERT_FALSE(shot.isNull());
    const QImage play = state_of(QImage(QString::fromStdString((skin_folder() / "button_5.png").string())), 0);
    ASSERT_FALSE(play.isNull());
    const double diff = best_match(shot, play, layout::kPlay - QPoint(19, 15), 4);
    EXPECT_LT(diff, 2.0) << "the play button differs from its picture";
}

TEST_F(Scaled, AtScaleTwoTheButtonsAreTheirSharpPicturesAndNotThePlainOnesEnlarged) {
    const QImage shot = main_and_editor(2);
    ASSERT_FALSE(shot.isNull());
    struct Button {
        const char* file;
        QPoint centre;
        QSize size;
    };
    for (const Button& b : {Button{"button_5", layout::kPlay, {38, 30}}, Button{"button_1", layout::kWavEdit, {76, 35}},
                            Button{"button_7", layout::kStop, {38, 30}}}) {
        SCOPED_TRACE(b.file);
        const QImage sharp = state_of(QImage(QString::fromStdString((skin_folder() / (std::string(b.file) + "@2x.png")).string())), 0);
        const QImage plain = state_of(QImage(QString::fromStdString((skin_folder() / (std::string(b.file) + ".png")).string())), 0);
        ASSERT_EQ(sharp.size(), plain.size() * 2) << "the sharp picture is not twice the plain one";
        const QPoint near = (b.centre - QPoint(b.size.width() / 2, b.size.height() / 2)) * 2;
        QPoint at;
        const double sharp_diff = best_match(shot, sharp, near, 8, &at);
        // What a skin that only has the plain pictures would show: the
        // glyph's and the rim's edges smeared, or in steps of two.
        const QImage blurred = plain.scaled(plain.size() * 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QImage blocky = plain.scaled(plain.size() * 2);
        const int off_sharp = differing(shot, sharp, at), off_blurred = differing(shot, blurred, at),
                  off_blocky = differing(shot, blocky, at);
        std::cout << b.file << ": mean difference " << sharp_diff << "; pixels off: sharp " << off_sharp
                  << ", blurred " << off_blurred << ", blocky " << off_blocky << "\n";
        EXPECT_LT(sharp_diff, 2.0) << "the button on the screen is not its sharp picture";
        EXPECT_LE(off_sharp, 10);
        EXPECT_GT(std::min(off_blurred, off_blocky), 40) << "an enlarged plain picture would pass as well";
    }
}

}  // namespace

// This suite needs a screen twice the size of the others' for the window at
// scale two, so it brings its own X server size.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
    std::string error;
    if (!Desktop::start(2400, 1500, error)) {
        std::cerr << "no virtual desktop: " << error << "\n";
        return 1;
    }
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    int rc;
    {
        QGuiApplication application(argc, argv);
        rc = RUN_ALL_TESTS();
    }
    Desktop::stop();
    return rc;
}
