#include <QApplication>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "shell/gui/qt_ui_dispatcher.h"
#include "shell/appstate.h"
#include "shell/dialogs.h"
#include "shell/gui/form_edit.h"
#include "shell/gui/form_main.h"
#include "shell/gui/program_windows.h"
#include "shell/profile.h"
#include "shell/instance/command_line.h"
#include "shell/instance/single_instance.h"
#include "shell/startup.h"
#include "ui/qt_dialog_service.h"
#include "voicefile/koltheader.h"

int main(int argc, char** argv) {
    // Answered before anything needs a screen, as packaging checks ask it.
    // Qt's own options are not known yet, so only these two are looked at.
    for (int i = 1; i < argc; ++i) {
        const std::string_view a(argv[i]);
        if (a == "--") break;
        if (a == "--version") {
            std::printf("murrelphonic %s\n", MURREL_VERSION);
            return 0;
        }
        if (a == "--help" || a == "-h") {
            std::fputs(murrel::command_line_help().c_str(), stdout);
            return 0;
        }
    }
    // A mistyped start is told so also without a screen, unless Qt options
    // (one dash) are among the arguments: only Qt knows which take a value.
    {
        std::vector<std::string> raw(argv + 1, argv + argc);
        const bool qt_options = std::any_of(raw.begin(), raw.end(), [](const std::string& a) {
            return a.size() > 1 && a[0] == '-' && a[1] != '-' && a != "-h";
        });
        const murrel::CommandLine early = murrel::parse_command_line(raw);
        if (!early.error.empty() && !qt_options) {
            std::fprintf(stderr, "murrelphonic: %s\nTry 'murrelphonic --help'.\n", early.error.c_str());
            return 2;
        }
    }
    QApplication application(argc, argv);
    application.setApplicationName("Murrelphonic");
    application.setApplicationDisplayName("Murrelphonic");

    std::vector<std::string> arguments;
    for (qsizetype i = 1; i < application.arguments().size(); ++i)
        arguments.push_back(application.arguments().at(i).toStdString());
    // Files to open: the arguments that are not options (a file manager's
    // "Open with" passes them as %F).
    const murrel::CommandLine command = murrel::parse_command_line(arguments);
    if (!command.error.empty()) {
        std::fprintf(stderr, "murrelphonic: %s\nTry 'murrelphonic --help'.\n", command.error.c_str());
        return 2;
    }

    // Start-up already reports (a bad Charset, a recovered recording).
    murrel::ui::QtDialogService dialog_service;
    murrel::set_dialog_service(&dialog_service);

    murrel::StartupOptions options;
    // A recording left behind by a crash is patched as if it had been saved.
    options.patch_recovered = [](const std::string& path) { return murrel::patch_saved_recording(path); };
    murrel::StartupResult started = murrel::start_program(options, murrel::Handover{command.files, command.edit});
    if (started.another_instance || !started.ok) {
        murrel::set_dialog_service(nullptr);
        return started.another_instance ? 0 : 1;
    }

    // The devices post their notifications to the event loop; installed
    // before the windows create the player and uninstalled after they are gone.
    murrel::QtUiDispatcher dispatcher;
    murrel::set_ui_dispatcher(&dispatcher);
    struct Uninstall {
        ~Uninstall() { murrel::set_ui_dispatcher(nullptr); }
    } uninstall;
    murrel::ProgramWindows windows(started.main_texts);
    windows.edit->WatchDesktopEnd(true);
    windows.screenshot_path = command.screenshot;
    murrel::single_instance().set_handover_handler(
        [&windows](const murrel::Handover& handed) { windows.take_handover(handed); });
    windows.show();
    // Once the list has been filled by the window's first show.
    if (!command.edit.empty())
        QTimer::singleShot(0, windows.main.get(), [&windows, path = command.edit] { windows.edit_file(path); });
    else if (!command.files.empty())
        QTimer::singleShot(0, windows.main.get(), [&windows, files = command.files] { windows.open_files(files); });
    int rc = application.exec();

    // The main window's close query wrote the last browsed folder.
    murrel::single_instance().release();
    murrel::set_dialog_service(nullptr);
    return rc;
}
