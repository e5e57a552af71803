// What a later start hands to the running program: the command line it was
// given, and the lines it sends over the instance's socket, as the running
// program reads them and as a program from before the Voice Editor's file
// was part of the handover reads them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>

#include "shell/instance/command_line.h"
#include "shell/instance/single_instance.h"

using namespace murrel;

namespace {

using Args = std::vector<std::string>;

struct ParseCase {
    Args args;
    Args files;
    std::string edit;
    std::string screenshot;
    bool help;
    std::string error_part;  // "" when the line is fine
};

TEST(CommandLine, FilesEditScreenshotAndHelpAreTakenAsAPersonMeansThem) {
    const std::vector<ParseCase> cases = {
        {{}, {}, "", "", false, ""},
        {{"a.vkd", "b.wav"}, {"a.vkd", "b.wav"}, "", "", false, ""},
        {{"--edit", "memo.wav"}, {}, "memo.wav", "", false, ""},
        {{"--edit=memo.vkd"}, {}, "memo.vkd", "", false, ""},
        // A file whose name starts with a dash is named after "--".
        {{"--edit", "-odd.wav"}, {}, "-odd.wav", "", false, ""},
        {{"--", "-odd.wav", "--edit"}, {"-odd.wav", "--edit"}, "", "", false, ""},
        {{"--screenshot", "shot.png", "a.wav"}, {"a.wav"}, "", "shot.png", false, ""},
        {{"-h"}, {}, "", "", true, ""},
        {{"--help", "a.wav"}, {"a.wav"}, "", "", true, ""},
        // Options of a launcher this program does not know are no files.
        {{"--some-launcher-flag", "a.wav"}, {"a.wav"}, "", "", false, ""},
        {{"--edit"}, {}, "", "", false, "--edit needs a file"},
        {{"--edit="}, {}, "", "", false, "--edit needs a file"},
        {{"--screenshot"}, {}, "", "", false, "--screenshot needs a file"},
        {{"--edit", "a.wav", "--edit", "b.wav"}, {}, "a.wav", "", false, "one file"},
        {{"--edit", "a.wav", "b.wav"}, {"b.wav"}, "a.wav", "", false, "no others"},
        {{"b.wav", "--edit", "a.wav"}, {"b.wav"}, "a.wav", "", false, "no others"},
    };
    for (const ParseCase& c : cases) {
        std::string shown;
        for (const std::string& a : c.args) shown += "'" + a + "' ";
        SCOPED_TRACE(shown);
        const CommandLine line = parse_command_line(c.args);
        if (c.error_part.empty()) {
            EXPECT_EQ(line.error, "");
            EXPECT_EQ(line.files, c.files);
            EXPECT_EQ(line.edit, c.edit);
            EXPECT_EQ(line.screenshot, c.screenshot);
        } else {
            EXPECT_NE(line.error.find(c.error_part), std::string::npos) << line.error;
        }
        EXPECT_EQ(line.help, c.help);
    }
    EXPECT_TRUE(parse_command_line({"--version"}).version);
}

TEST(CommandLine, TheHelpNamesEveryOption) {
    const std::string help = command_line_help();
    for (const char* option : {"--edit FILE", "--help", "--version", "FILE..."})
        EXPECT_NE(help.find(option), std::string::npos) << option;
}

// The socket tests run both ends in this process: a connection and its
// bytes wait in the kernel until the serving end's event loop reads them.
QCoreApplication& application() {
    static int argc = 1;
    static char name[] = "test_handover";
    static char* argv[] = {name, nullptr};
    static auto* app = new QCoreApplication(argc, argv);
    return *app;
}

std::string unique_name(const char* what) { return "murrel-handover-" + std::to_string(::getpid()) + "-" + what; }

template <class Done>
bool serve_until(Done done, int timeout_ms = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeout_ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

TEST(Handover, TheEditorsFileAndThePlainFilesReachTheRunningInstanceWhateverBytesTheirPathsHold) {
    application();
    const std::string name = unique_name("both");
    SingleInstance running;
    ASSERT_FALSE(running.claim(name));
    std::vector<Handover> received;
    running.set_handover_handler([&](const Handover& h) { received.push_back(h); });

    // A newline or a percent sign in a path must not end or garble its line.
    const Handover sent{{"/data/one.vkd", "/data/two\nlines.wav"}, "/data/100% sure memo.wav"};
    SingleInstance later;
    ASSERT_TRUE(later.claim(name, sent));
    ASSERT_TRUE(serve_until([&] { return !received.empty(); }));
    EXPECT_EQ(received[0].files, sent.files);
    EXPECT_EQ(received[0].edit, sent.edit);

    // A plain start hands over nothing for the editor.
    SingleInstance plain;
    ASSERT_TRUE(plain.claim(name, std::vector<std::string>{"/data/three.wav"}));
    ASSERT_TRUE(serve_until([&] { return received.size() == 2; }));
    EXPECT_EQ(received[1].files, std::vector<std::string>{"/data/three.wav"});
    EXPECT_EQ(received[1].edit, "");
}

TEST(Handover, RequestsBeforeTheWindowsExistWaitAndTheOldFilesOnlyHandlerStillHearsTheFiles) {
    application();
    const std::string name = unique_name("early");
    SingleInstance running;
    ASSERT_FALSE(running.claim(name));
    SingleInstance later;
    ASSERT_TRUE(later.claim(name, Handover{{"/data/a.wav"}, "/data/b.wav"}));
    // Served before any handler is set: kept until there is one.
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    std::vector<std::vector<std::string>> files;
    running.set_activation_handler([&](const std::vector<std::string>& f) { files.push_back(f); });
    ASSERT_TRUE(serve_until([&] { return !files.empty(); }));
    EXPECT_EQ(files[0], std::vector<std::string>{"/data/a.wav"});
}

// What a later start writes, as a program from before the editor's line reads
// it: every "open" line is a file it plays, "activate" brings it forward.
TEST(Handover, AnOlderRunningProgramComesForwardWithoutTakingTheEditorsFileForOneToPlay) {
    application();
    const QString socket_name = QString::fromStdString(instance_socket_name(unique_name("old")));
    QLocalServer old_program;
    old_program.setSocketOptions(QLocalServer::AbstractNamespaceOption);
    ASSERT_TRUE(old_program.listen(socket_name));
    SingleInstance later;
    ASSERT_TRUE(later.claim(unique_name("old"), Handover{{}, "/data/memo.wav"}));
    ASSERT_TRUE(serve_until([&] { return old_program.hasPendingConnections(); }));
    QLocalSocket* socket = old_program.nextPendingConnection();
    QByteArray bytes;
    ASSERT_TRUE(serve_until([&] {
        bytes += socket->readAll();
        return bytes.endsWith("activate\n");
    })) << bytes.toStdString();
    const QList<QByteArray> lines = bytes.split('\n');
    int activations = 0;
    for (const QByteArray& line : lines) {
        EXPECT_FALSE(line.startsWith("open ")) << "an older program would play the editor's file";
        if (line == "activate") ++activations;
    }
    EXPECT_EQ(activations, 1);
    EXPECT_TRUE(bytes.contains("memo.wav")) << "the editor's file was not sent at all";
}

TEST(Handover, LinesTheRunningInstanceDoesNotKnowOrThatWereCutOffAreIgnored) {
    application();
    const std::string name = unique_name("junk");
    SingleInstance running;
    ASSERT_FALSE(running.claim(name));
    std::vector<Handover> received;
    running.set_handover_handler([&](const Handover& h) { received.push_back(h); });

    QLocalSocket socket;
    socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket.connectToServer(QString::fromStdString(instance_socket_name(name)));
    ASSERT_TRUE(socket.waitForConnected(1000));
    socket.write("frobnicate /data/x.wav\nedit \nedit %00\nEDIT /data/y.wav\nedit /data/z.wav\nactivate\n"
                 "edit /data/cut-off.wav");
    socket.waitForBytesWritten(1000);
    ASSERT_TRUE(serve_until([&] { return !received.empty(); }));
    socket.disconnectFromServer();
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_EQ(received.size(), 1u) << "a line without its end was acted on";
    EXPECT_EQ(received[0].edit, "/data/z.wav");
    EXPECT_TRUE(received[0].files.empty());
}

// The window's answer to a handover may wait in a loop of its own (the
// question about a changed document, the display data's progress), in which
// the later start's connection ends and is cleaned up.
TEST(Handover, AHandlerThatWaitsInAnEventLoopOfItsOwnOutlivesTheConnectionItCameBy) {
    application();
    const std::string name = unique_name("nested");
    SingleInstance running;
    ASSERT_FALSE(running.claim(name));
    std::vector<Handover> received;
    running.set_handover_handler([&](const Handover& h) {
        received.push_back(h);
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 300) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    });
    {
        SingleInstance later;
        ASSERT_TRUE(later.claim(name, Handover{{}, "/data/first.wav"}));
    }
    ASSERT_TRUE(serve_until([&] { return !received.empty(); }));
    SingleInstance again;
    ASSERT_TRUE(again.claim(name, Handover{{}, "/data/second.wav"}));
    ASSERT_TRUE(serve_until([&] { return received.size() == 2; }));
    EXPECT_EQ(received[1].edit, "/data/second.wav");
}

}  // namespace
