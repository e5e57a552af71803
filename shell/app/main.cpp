#include <QApplication>
#include <QMainWindow>

#include "shell/appstate.h"
#include "shell/dialogs.h"
#include "shell/profile.h"
#include "shell/single_instance.h"
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

    QMainWindow window;
    window.setWindowTitle("Murrelphonic");
    window.resize(853, 612);
    murrel::single_instance().set_activation_handler([&window] {
        window.showNormal();
        window.raise();
        window.activateWindow();
    });
    window.show();
    int rc = application.exec();

    try {
        murrel::writeconfig_inifile(murrel::app().data_dir, murrel::app().data_dir);
    } catch (const murrel::ProfileWriteError& e) {
        murrel::show_error(e.what());
    }
    murrel::single_instance().release();
    murrel::set_dialog_service(nullptr);
    return rc;
}
