#include <QApplication>

#include "shell/gui/qt_ui_dispatcher.h"
#include "shell/appstate.h"
#include "shell/dialogs.h"
#include "shell/gui/form_main.h"
#include "shell/gui/program_windows.h"
#include "shell/profile.h"
#include "shell/instance/single_instance.h"
#include "shell/startup.h"
#include "ui/qt_dialog_service.h"
#include "voicefile/koltheader.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    application.setApplicationName("Murrelphonic");
    application.setApplicationDisplayName("Murrelphonic");

    // Start-up already reports (a bad Charset, a recovered recording).
    murrel::ui::QtDialogService dialog_service;
    murrel::set_dialog_service(&dialog_service);

    murrel::StartupOptions options;
    // A recording left behind by a crash is patched as if it had been saved.
    options.patch_recovered = [](const std::string& path) { return murrel::patch_saved_recording(path); };
    murrel::StartupResult started = murrel::start_program(options);
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
    // --screenshot FILE: save the main window's first paint and end.
    const QStringList args = application.arguments();
    if (const qsizetype at = args.indexOf("--screenshot"); at >= 0 && at + 1 < args.size())
        windows.screenshot_path = args.at(at + 1).toStdString();
    murrel::TForm_main& window = *windows.main;
    murrel::single_instance().set_activation_handler([&window] {
        window.showNormal();
        window.raise();
        window.activateWindow();
    });
    windows.show();
    int rc = application.exec();

    // The main window's close query wrote the last browsed folder.
    murrel::single_instance().release();
    murrel::set_dialog_service(nullptr);
    return rc;
}
