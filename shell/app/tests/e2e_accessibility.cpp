// The program as a screen reader meets it: a private session bus with the
// desktop's accessibility bus on it, switched on as a screen reader switches
// it on, and the program's tree read through the accessibility service — the
// buttons by their names, the time display's value, the file list's rows, the
// transport state — before and while a file plays.
#include <gtest/gtest.h>

#include <signal.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "shell/app/tests/e2e_layout.h"
#include "testsupport/e2e/desktop.h"

using namespace murrel::e2e;
namespace fs = std::filesystem;

namespace {

struct Node {
    int depth = 0;
    std::string role, name, reading;
};

class ScreenReader : public ::testing::Test {
protected:
    void SetUp() override {
        const fs::path bus_file = program.folders().root / "bus.txt";
        const std::string start = "dbus-daemon --session --fork --nopidfile --print-address=1 --print-pid=1 >" +
                                  bus_file.string() + " 2>/dev/null";
        ASSERT_EQ(std::system(start.c_str()), 0) << "no dbus-daemon";
        std::ifstream in(bus_file);
        std::getline(in, address_);
        in >> bus_pid_;
        ASSERT_FALSE(address_.empty());
        ::setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
        // What a screen reader does when it starts: the accessibility bus is
        // started by the session bus on the first call.
        int status = -1;
        run_command({"gdbus", "call", "--session", "--dest", "org.a11y.Bus", "--object-path", "/org/a11y/bus",
                     "--method", "org.freedesktop.DBus.Properties.Set", "org.a11y.Status", "IsEnabled", "<true>"},
                    &status);
        ASSERT_EQ(status, 0) << "the accessibility bus could not be switched on";
        program.environment["DBUS_SESSION_BUS_ADDRESS"] = address_;
        run_command({"sox", "-n", "-r", "16000", "-c", "1", "-b", "16", (program.folders().data() / "memo1.wav").string(),
                     "synth", "6", "sine", "300"});
        ASSERT_GT(program.start(), 0);
        ASSERT_NE(program.main_window(), 0u);
    }
    void TearDown() override {
        program.close();
        if (bus_pid_ > 0) ::kill(bus_pid_, SIGTERM);
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    }

    std::vector<Node> tree() {
        const std::string walker = std::string(MURREL_SOURCE_DIR) + "/shell/app/tests/a11y_walk.py";
        std::vector<Node> nodes;
        // The bridge registers the application a moment after its window shows.
        for (int attempt = 0; attempt < 20 && nodes.empty(); ++attempt) {
            int status = -1;
            const std::string text = run_command({"/usr/bin/python3", walker, "Murrelphonic"}, &status);
            std::istringstream lines(text);
            for (std::string line; std::getline(lines, line);) {
                Node n;
                std::istringstream fields(line);
                std::string depth;
                std::getline(fields, depth, '\t');
                std::getline(fields, n.role, '\t');
                std::getline(fields, n.name, '\t');
                std::getline(fields, n.reading);
                n.depth = std::atoi(depth.c_str());
                nodes.push_back(n);
            }
            if (nodes.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
        return nodes;
    }
    static const Node* find(const std::vector<Node>& nodes, const std::string& role, const std::string& name) {
        for (const Node& n : nodes)
            if (n.role == role && n.name == name) return &n;
        return nullptr;
    }

    Program program;
    std::string address_;
    pid_t bus_pid_ = -1;
};

TEST_F(ScreenReader, FindsTheButtonsTheTimeDisplayAndTheRowsByNameAndHearsTheTimeRunWhilePlaying) {
    const std::vector<Node> idle = tree();
    ASSERT_FALSE(idle.empty()) << "the program is not in the accessibility tree";
    for (const char* name : {"Play", "Pause", "Stop", "Record (SP, 16 kbit/s)", "Conversion", "Editing", "Close"})
        EXPECT_TRUE(find(idle, "push button", name)) << "no button named " << name;
    const Node* elapsed = find(idle, "label", "Elapsed time");
    ASSERT_TRUE(elapsed) << "no elapsed time";
    EXPECT_EQ(elapsed->reading, "00:00:00");
    EXPECT_TRUE(find(idle, "label", "Total time"));
    EXPECT_TRUE(find(idle, "image", "Stopped")) << "no transport state";
    EXPECT_TRUE(find(idle, "slider", "Volume"));
    EXPECT_TRUE(find(idle, "table cell", "memo1.wav")) << "the list's row is not read by its name";

    program.click(layout::list_row(0));
    program.click(layout::kPlay);
    layout::pause_s(2.5);
    const std::vector<Node> playing = tree();
    const Node* running = find(playing, "label", "Elapsed time");
    ASSERT_TRUE(running);
    EXPECT_NE(running->reading, "00:00:00") << "the elapsed time does not run for the screen reader";
    EXPECT_EQ(running->reading.rfind("00:00:0", 0), 0u) << running->reading;
    const Node* total = find(playing, "label", "Total time");
    ASSERT_TRUE(total);
    EXPECT_EQ(total->reading, "00:00:06");
    EXPECT_TRUE(find(playing, "image", "Playing")) << "the transport state is not read as playing";
    program.click(layout::kStop);
}

TEST_F(ScreenReader, FindsTheVoiceEditorsWaveViewsByNameAndReadsTheirLocatorAndRange) {
    program.click(layout::list_row(0));
    program.click(layout::kWavEdit);
    const auto editor = program.find_window("^Voice Editor$", 10s);
    ASSERT_TRUE(editor) << "the editor did not open";
    layout::pause_s(1.0);
    program.key("ctrl+e");  // the envelope view too
    layout::pause_s(0.5);
    const std::vector<Node> nodes = tree();
    ASSERT_FALSE(nodes.empty());
    const struct {
        const char* role;
        const char* name;
        const char* reading;  // its beginning
    } views[] = {
        {"chart", "Overview of the file to be edited", "Locator 0:00.000, no selection"},
        {"chart", "Zoomed view of the file to be edited", "Locator 0:00.000, no selection, showing 0:00.000 to 0:06.000"},
        {"label", "Time ruler of the overview of the file to be edited", "0:00.000 to 0:06.000"},
        {"label", "Time ruler of the zoomed view of the file to be edited", "0:00.000 to 0:06.000"},
        {"label", "Markers of the file to be edited", "Locator 0:00.000, 0 markers"},
        {"chart", "Gain envelope of the file to be edited", "2 gain points, 100 % at the locator"},
        {"chart", "Overview of the file to be referenced", "No file"},
    };
    for (const auto& v : views) {
        const Node* n = find(nodes, v.role, v.name);
        ASSERT_TRUE(n) << "no " << v.role << " named " << v.name;
        EXPECT_EQ(n->reading, v.reading) << v.name;
    }
}

}  // namespace
