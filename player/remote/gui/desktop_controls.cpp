#include "player/remote/gui/desktop_controls.h"

#include <QDBusConnection>
#include <QShortcut>
#include <QWidget>

#include <cstdio>

#include "player/remote/gui/pedal_settings_dialog.h"
#include "shell/dialogs.h"
#include "shell/profile.h"

namespace murrel {

DesktopControls::DesktopControls(PlayerStrip& strip, QWidget* main_window, std::string ini_path, UiDispatcher& ui,
                                 PedalReader::Options input)
    : main_window_(main_window),
      ini_path_(std::move(ini_path)),
      transport_(strip),
      reader_(ui, std::move(input)),
      controller_(transport_),
      mpris_(transport_) {
    const PedalSettings settings = load_pedal_settings(ProfileFile(ini_path_));
    reader_.set_settings(settings);
    controller_.set_settings(settings);
    reader_.OnPedal = [this](const PedalEvent& e) {
        // While the Voice Editor stands in for the main window the pedal
        // must not start the main window's player behind it.
        if (main_window_ && !main_window_->isVisible() && e.kind == PedalEvent::Kind::Press) return;
        controller_.handle(e);
        // The desktop hears of the change at once rather than at the next tick.
        mpris_.refresh();
    };
    std::string why;
    // Without pedal support the program still works; the reason is told on
    // the terminal for whoever looks.
    if (!reader_.start(why)) std::fprintf(stderr, "murrelphonic: %s\n", why.c_str());

    if (main_window_) {
        mpris_.OnRaise = [w = main_window_] {
            w->showNormal();
            w->raise();
            w->activateWindow();
        };
        mpris_.OnQuit = [w = main_window_] { w->close(); };
        mpris_.OnOpenFile = [this](const QString& path) {
            if (!OnOpenFile) return false;
            OnOpenFile(path.toStdString());
            return true;
        };
        auto* shortcut = new QShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+P")), main_window_);
        connect(shortcut, &QShortcut::activated, this, &DesktopControls::open_settings);
    }
    QString no_bus;
    if (!mpris_.publish(QDBusConnection::sessionBus(), &no_bus))
        std::fprintf(stderr, "murrelphonic: media keys unavailable: %s\n", no_bus.toLocal8Bit().constData());
}

DesktopControls::~DesktopControls() {
    mpris_.unpublish();
    reader_.stop();
}

void DesktopControls::open_settings() {
    if (settings_open_) return;
    settings_open_ = true;
    PedalSettingsDialog dialog(reader_, reader_.settings(), main_window_);
    const bool kept = dialog.exec() == QDialog::Accepted;
    settings_open_ = false;
    if (!kept) return;
    const PedalSettings s = dialog.settings();
    reader_.set_settings(s);
    controller_.set_settings(s);
    try {
        ProfileFile profile(ini_path_);
        save_pedal_settings(profile, s);
    } catch (const ProfileWriteError& e) {
        show_error(e.what());
    }
}

}  // namespace murrel
