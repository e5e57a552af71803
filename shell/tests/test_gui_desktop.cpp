// The program on an X server with a window manager, driven with the mouse and
// keys as a user drives it (xdotool), seen as a user sees it (xwininfo, and
// screenshots kept in build/screenshots/: the main window at normal size,
// maximised and at its minimum size, the list's styles, a message box, the
// about box, the conversion dialog, the file dialog and the progress dialog).
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRect>
#include <QStandardPaths>
#include <QThread>

#include <unistd.h>

#include "testsupport/scratch_dir.h"

namespace {

const QString kBinDir = QStringLiteral(MURREL_BIN_DIR);

bool have(const char* tool) { return !QStandardPaths::findExecutable(tool).isEmpty(); }

QString shot_folder() {
    const QString dir = kBinDir + "/../screenshots";
    QDir().mkpath(dir);
    return QDir(dir).absolutePath();
}

class Desktop : public testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"Xvfb", "openbox", "xdotool", "xwininfo", "import", "sox"})
            if (!have(tool)) GTEST_SKIP() << "needs " << tool;
        server.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1600x1000x24", "-nolisten", "tcp"});
        ASSERT_TRUE(server.waitForReadyRead(20000)) << "Xvfb did not start";
        env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", ":" + QString::fromLatin1(server.readLine()).trimmed());
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("HOME", QString::fromStdString(scratch.file("home")));
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(scratch.file("run")));
        QDir().mkpath(env.value("HOME"));
        QDir().mkpath(env.value("XDG_RUNTIME_DIR"));
        QFile::setPermissions(env.value("XDG_RUNTIME_DIR"), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                               QFileDevice::ExeOwner);
        wm.setProcessEnvironment(env);
        wm.start("openbox", {});
        ASSERT_TRUE(wm.waitForStarted());

        // The program in a scratch copy of its folder, with files to list.
        bin = QString::fromStdString(scratch.file("bin"));
        QDir().mkpath(bin + "/voicedata");
        for (const QString& f : QDir(kBinDir).entryList(QDir::Files)) QFile::copy(kBinDir + "/" + f, bin + "/" + f);
        run("sox", {"-n", "-r", "16000", "-c", "1", "-b", "16", bin + "/voicedata/memo1.wav", "synth", "2", "sine",
                    "300"});
        // Long enough that the progress dialog stays up for a picture.
        run("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", bin + "/voicedata/interview.wav", "synth", "600",
                    "sine", "500"});
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(bin);
        // Other instances of the program on this machine (other users of the
        // same account) would take the single-instance name: a network
        // namespace of its own gives it a fresh abstract socket namespace.
        if (geteuid() == 0 && have("unshare")) program.start("unshare", {"-n", bin + "/murrelphonic"});
        else program.start(bin + "/murrelphonic", {});
        ASSERT_TRUE(program.waitForStarted());
        main_window = wait_for_window("^Murrelphonic$", 1);
        ASSERT_FALSE(main_window.isEmpty()) << program.readAllStandardError().toStdString();
        QThread::msleep(500);
    }

    void TearDown() override {
        for (QProcess* p : {&program, &wm, &server}) {
            if (p->state() == QProcess::NotRunning) continue;
            p->terminate();
            if (!p->waitForFinished(5000)) p->kill();
            p->waitForFinished(2000);
        }
    }

    QString run(const QString& tool, const QStringList& args) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(tool, args);
        p.waitForFinished(30000);
        return QString::fromLocal8Bit(p.readAllStandardOutput());
    }

    // The ids of the program's visible windows whose name matches.
    QStringList windows(const QString& name) {
        return run("xdotool", {"search", "--onlyvisible", "--name", name}).split('\n', Qt::SkipEmptyParts);
    }

    // Waits until at least `count` windows match and returns the newest.
    QString wait_for_window(const QString& name, int count) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 15000) {
            const QStringList ids = windows(name);
            if (ids.size() >= count) return ids.last();
            QThread::msleep(100);
        }
        return {};
    }

    QRect geometry(const QString& id) {
        int x = 0, y = 0, w = 0, h = 0;
        for (const QString& line : run("xwininfo", {"-id", id}).split('\n')) {
            const QString t = line.trimmed();
            const int value = t.section(':', 1).trimmed().toInt();
            if (t.startsWith("Absolute upper-left X")) x = value;
            if (t.startsWith("Absolute upper-left Y")) y = value;
            if (t.startsWith("Width")) w = value;
            if (t.startsWith("Height")) h = value;
        }
        return {x, y, w, h};
    }

    void mouse(const QStringList& args) {
        run("xdotool", args);
        QThread::msleep(150);
    }
    // A point of the main window, in its own coordinates.
    QStringList at(QPoint p) {
        const QRect g = geometry(main_window);
        return {"mousemove", QString::number(g.x() + p.x()), QString::number(g.y() + p.y())};
    }

    void shot(const QString& name, const QString& window = "root") {
        QThread::msleep(400);
        const QString png = shot_folder() + "/" + name + ".png";
        QFile::remove(png);
        run("import", {"-window", window, png});
        EXPECT_TRUE(QFileInfo::exists(png)) << png.toStdString();
    }

    murrel::testsupport::ScratchDir scratch;
    QProcess server, wm, program;
    QProcessEnvironment env;
    QString bin, main_window;
};

// The window manager's frame around a decorated box shifts its client area
// by the frame's border and title.
bool centred_over(const QRect& dialog, const QRect& owner, int frame = 0) {
    return (dialog.center() - owner.center()).manhattanLength() <= 3 + frame;
}

TEST_F(Desktop, TheFrameMaximisesOnADoubleClickAndAQuickClickLeavesNoMoveBehind) {
    const QPoint on_top_bar(600, 30);
    EXPECT_EQ(geometry(main_window).size(), QSize(853, 612));
    shot("main_window_normal", main_window);

    for (int i = 0; i < 4; ++i) {
        const QRect before = geometry(main_window);
        mouse(at(on_top_bar) + QStringList{"mousedown", "1", "mouseup", "1"});
        mouse(at(on_top_bar + QPoint(40, 40)));
        EXPECT_EQ(geometry(main_window), before) << "the window follows the pointer with no button held";
        mouse({"mousemove", QString::number(before.x() + 300), QString::number(before.y() + 400)});
    }

    const QRect normal = geometry(main_window);
    mouse(at(on_top_bar) + QStringList{"click", "--repeat", "2", "--delay", "80", "1"});
    QThread::msleep(500);
    EXPECT_EQ(geometry(main_window), QRect(0, 0, 1600, 1000));
    shot("main_window_maximised", main_window);
    mouse(at(on_top_bar) + QStringList{"click", "--repeat", "2", "--delay", "80", "1"});
    QThread::msleep(500);
    EXPECT_EQ(geometry(main_window).size(), normal.size());

    run("xdotool", {"windowsize", main_window, "610", "300"});
    QThread::msleep(500);
    EXPECT_EQ(geometry(main_window).size(), QSize(610, 300));
    shot("main_window_minimum", main_window);
    run("xdotool", {"windowsize", main_window, "853", "612"});
}

TEST_F(Desktop, TheDialogsOpenOverTheMainWindow) {
    // Help, on a machine where no program shows the manual, says so in a box.
    const int before = windows("^Murrelphonic$").size();
    mouse(at({268 + 38, 49 + 17}) + QStringList{"click", "1"});
    const QString box = wait_for_window("^Murrelphonic$", before + 1);
    if (!box.isEmpty() && box != main_window) {
        EXPECT_TRUE(centred_over(geometry(box), geometry(main_window), 24))
            << geometry(box).center().x() << "," << geometry(box).center().y() << " over "
            << geometry(main_window).center().x() << "," << geometry(main_window).center().y();
        shot("message_box");
        run("xdotool", {"key", "Return"});
    }

    mouse(at({347 + 38, 49 + 17}) + QStringList{"click", "1"});
    shot("about_box");
    run("xdotool", {"key", "Escape"});
    QThread::msleep(300);
    for (const char* style : {"list_icon_view", "list_small_icon_view", "list_list_view"}) {
        mouse(at({199, 160}) + QStringList{"click", "1"});  // the view-style button
        shot(style, main_window);
    }
    mouse(at({199, 160}) + QStringList{"click", "1"});  // back to the report view

    // The move of the main window first: a dialog must follow it, not the screen.
    run("xdotool", {"windowmove", main_window, "120", "80"});
    QThread::msleep(400);
    mouse(at({300, 208}) + QStringList{"click", "1"});  // the first file of the list
    mouse(at({17 + 38, 49 + 17}) + QStringList{"click", "1"});
    QThread::msleep(800);
    QRect dialog;
    for (const QString& id :
         run("xdotool", {"search", "--onlyvisible", "--class", "murrelphonic"}).split('\n', Qt::SkipEmptyParts))
        if (geometry(id).size() == QSize(420, 230)) dialog = geometry(id);
    shot("conversion_dialog");
    ASSERT_TRUE(dialog.isValid()) << "no conversion dialog";
    EXPECT_TRUE(centred_over(dialog, geometry(main_window)));

    mouse({"mousemove", QString::number(dialog.x() + 341), QString::number(dialog.y() + 70), "click", "1"});
    QThread::msleep(800);
    shot("file_dialog");
    run("xdotool", {"key", "Escape"});
    QThread::msleep(400);

    mouse({"mousemove", QString::number(dialog.x() + 290), QString::number(dialog.y() + 204), "click", "1"});
    QThread::msleep(300);
    shot("progress_dialog");
}

}  // namespace
