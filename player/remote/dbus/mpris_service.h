#pragma once
// The player as the desktop's media-player service on the session bus: the
// keyboard's media keys, the desktop's player widgets and command-line
// controllers find it by its well-known name and drive the transport through
// the standard media-player interfaces (the root and .Player). The object
// answers from the transport at each call; what changes by itself (the
// state, the file, a jump of the position) is announced by refresh(), which
// a 200 ms timer runs.
//
// Threads: the user-interface thread (the bus delivers calls to the event
// loop of the thread the service lives on).
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <QVariantMap>

#include <functional>
#include <optional>

#include "player/remote/transport_control.h"

namespace murrel {

class MprisService : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";
    static constexpr const char* kServicePrefix = "org.mpris.MediaPlayer2.murrelphonic";

    explicit MprisService(TransportControl& transport, QObject* parent = nullptr);
    ~MprisService() override;

    // Takes the well-known name on `bus` (with ".instance<pid>" added when
    // another process holds it) and publishes the object. False with the
    // reason when the bus cannot be reached or refuses.
    bool publish(const QDBusConnection& bus, QString* why = nullptr);
    void unpublish();
    QString service_name() const { return service_; }

    // The desktop asks to show the window, or to quit.
    std::function<void()> OnRaise;
    std::function<void()> OnQuit;
    // A file to play, from OpenUri; false when it could not be opened.
    std::function<bool(const QString& path)> OnOpenFile;

    // Announces what changed since the last announcement.
    void refresh();

    // --- what the interfaces read (also used by the adaptors) -----------------
    TransportControl& transport() { return transport_; }
    QString playback_status() const;
    QVariantMap metadata() const;
    QDBusObjectPath track_id() const;
    qlonglong position_us() const;
    bool can_seek() const;

    // --- what the interfaces call ---------------------------------------------
    void seek_by(qlonglong offset_us);
    void set_position(const QDBusObjectPath& track, qlonglong position_us);
    void set_rate(double rate);
    void open_uri(const QString& uri);
    void raise_window();
    void quit();

signals:
    // The .Player interface's Seeked, relayed by its adaptor.
    void Seeked(qlonglong position_us);

private:
    struct Snapshot {
        QString status;
        QVariantMap metadata;
        double rate = 1.0, min_rate = 1.0, max_rate = 1.0;
        bool can_play = false, can_pause = false, can_seek = false;
    };
    Snapshot snapshot() const;
    void announce(const QString& interface, const QVariantMap& changed);
    void note_position();

    TransportControl& transport_;
    QDBusConnection bus_{QString()};
    QString service_;
    bool published_ = false;
    QTimer timer_;
    std::optional<Snapshot> last_;
    // Track ids: a new one for each file started.
    mutable QString track_path_;
    mutable int track_number_ = 0;
    // Where the position was at the last refresh, to tell a jump from playing on.
    qlonglong last_position_us_ = 0;
    QElapsedTimer since_last_;
};

}  // namespace murrel
