#pragma once
// Everything that lets the desktop drive the player, put together for the
// program: the foot pedal (reader, settings from the INI file, what the
// pedals do), the media-player service on the session bus, and the pedal
// settings dialog behind Ctrl+Shift+P in the main window.
//
// Threads: the user-interface thread.
#include <QObject>

#include <functional>
#include <memory>
#include <string>

#include "player/remote/dbus/mpris_service.h"
#include "player/remote/pedal_controller.h"
#include "player/remote/pedal_reader.h"
#include "player/remote/strip_transport.h"

class QWidget;

namespace murrel {

class PlayerStrip;
class UiDispatcher;

class DesktopControls : public QObject {
    Q_OBJECT
public:
    // `ini_path`: the file whose section "FootPedal" holds the settings.
    DesktopControls(PlayerStrip& strip, QWidget* main_window, std::string ini_path, UiDispatcher& ui,
                    PedalReader::Options input = {});
    ~DesktopControls() override;

    // Shows the pedal settings; OK keeps and stores them.
    void open_settings();

    // A file the desktop asks to play (a media-player "open").
    std::function<void(const std::string& path)> OnOpenFile;

    StripTransport& transport() { return transport_; }
    PedalReader& reader() { return reader_; }
    MprisService& mpris() { return mpris_; }

private:
    QWidget* main_window_;
    std::string ini_path_;
    StripTransport transport_;
    PedalReader reader_;
    PedalController controller_;
    MprisService mpris_;
    bool settings_open_ = false;
};

}  // namespace murrel
