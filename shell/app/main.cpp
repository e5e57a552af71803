#include <QApplication>
#include <QTimer>

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
#include "shell/instance/single_instance.h"
#include "shell/startup.h"
#include "ui/qt_dialog_service.h"
#include "voicefile/koltheader.h"

int main(int argc, char** argv) {
    // Answered before anything needs a screen, as packaging checks ask it.
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]) == "--version") {
            std::printf("murrelphonic %s\n", MURREL_VERSION);
            return 0;
        }
    QApplication application(argc, argv);
    application.setApplicationName("Murrelphonic");
    application.setApplicationDisplayName("Murrelphonic");

    // Start-up already reports (a bad Charset, a recovered recording).
    murrel::ui::QtDialogService dialog_service;
    murrel::set_dialog_service(&dialog_service);

    murrel::StartupOptions options;
    // A recording left behind by a crash is patched as if it had been saved.
    options.patch_recovered = [](const std::string& path) { return murrel::patch_saved_recording(path); };
    // Files to open: the arguments that are not options (a file manager's
    // "Open with" passes them as %F).
    std::vector<std::string> files;
    const QStringList arguments = application.arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if (a == "--screenshot") {
            ++i;
            continue;
        }
        if (a == "--") {
            for (++i; i < arguments.size(); ++i) files.push_back(arguments.at(i).toStdString());
            break;
        }
        if (!a.startsWith('-')) files.push_back(a.toStdString());
    }
    murrel::StartupResult started = murrel::start_program(options, files);
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
    // --screenshot FILE: save the main window's first paint and end.
    const QStringList args = application.arguments();
    if (const qsizetype at = args.indexOf("--screenshot"); at >= 0 && at + 1 < args.size())
        windows.screenshot_path = args.at(at + 1).toStdString();
    murrel::TForm_main& window = *windows.main;
    murrel::single_instance().set_activation_handler([&window, &windows](const std::vector<std::string>& handed) {
        window.showNormal();
        window.raise();
        window.activateWindow();
        windows.open_files(handed);
    });
    windows.show();
    // Once the list has been filled by the window's first show.
    if (!files.empty()) QTimer::singleShot(0, &window, [&windows, files] { windows.open_files(files); });
    int rc = application.exec();

    // The main window's close query wrote the last browsed folder.
    murrel::single_instance().release();
    murrel::set_dialog_service(nullptr);
    return rc;
}
