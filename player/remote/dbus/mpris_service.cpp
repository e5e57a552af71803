#include "player/remote/dbus/mpris_service.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QUrl>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "player/remote/dbus/mpris_adaptors.h"

namespace murrel {

namespace {

constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";
constexpr const char* kNoTrack = "/org/mpris/MediaPlayer2/TrackList/NoTrack";
// A position further than this from where playing on would have taken it
// was moved by someone else (the slider, a pedal): the desktop is told.
constexpr qlonglong kJumpUs = 1'500'000;

}  // namespace

MprisService::MprisService(TransportControl& transport, QObject* parent) : QObject(parent), transport_(transport) {
    new MprisRootAdaptor(this);
    new MprisPlayerAdaptor(this);
    timer_.setInterval(200);
    connect(&timer_, &QTimer::timeout, this, &MprisService::refresh);
    since_last_.start();
}

MprisService::~MprisService() { unpublish(); }

bool MprisService::publish(const QDBusConnection& bus, QString* why) {
    unpublish();
    if (!bus.isConnected()) {
        if (why) *why = QStringLiteral("no session bus: ") + bus.lastError().message();
        return false;
    }
    bus_ = bus;
    if (!bus_.registerObject(kObjectPath, this, QDBusConnection::ExportAdaptors)) {
        if (why) *why = QStringLiteral("the media-player object cannot be published: ") + bus_.lastError().message();
        return false;
    }
    QString name = kServicePrefix;
    if (!bus_.registerService(name)) {
        name += QStringLiteral(".instance%1").arg(::getpid());
        if (!bus_.registerService(name)) {
            if (why) *why = QStringLiteral("the bus refused the name ") + name + ": " + bus_.lastError().message();
            bus_.unregisterObject(kObjectPath);
            return false;
        }
    }
    service_ = name;
    published_ = true;
    last_ = snapshot();
    note_position();
    timer_.start();
    return true;
}

void MprisService::unpublish() {
    timer_.stop();
    if (!published_) return;
    bus_.unregisterService(service_);
    bus_.unregisterObject(kObjectPath);
    published_ = false;
    service_.clear();
}

QString MprisService::playback_status() const {
    switch (transport_.status()) {
        case PlaybackStatus::Playing: return QStringLiteral("Playing");
        case PlaybackStatus::Paused: return QStringLiteral("Paused");
        default: return QStringLiteral("Stopped");
    }
}

QDBusObjectPath MprisService::track_id() const {
    const auto t = transport_.track();
    if (!t) return QDBusObjectPath(kNoTrack);
    const QString path = QString::fromStdString(t->path);
    if (path != track_path_) {
        track_path_ = path;
        ++track_number_;
    }
    return QDBusObjectPath(QStringLiteral("/org/murrelphonic/track/%1").arg(track_number_));
}

QVariantMap MprisService::metadata() const {
    QVariantMap m;
    const auto t = transport_.track();
    m.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(track_id()));
    if (!t) return m;
    m.insert(QStringLiteral("mpris:length"), QVariant::fromValue(qlonglong(t->length_ms) * 1000));
    m.insert(QStringLiteral("xesam:title"), QString::fromStdString(t->title));
    m.insert(QStringLiteral("xesam:url"), QUrl::fromLocalFile(QString::fromStdString(t->path)).toString());
    return m;
}

qlonglong MprisService::position_us() const { return qlonglong(transport_.position_ms()) * 1000; }

bool MprisService::can_seek() const { return transport_.status() != PlaybackStatus::Stopped; }

void MprisService::seek_by(qlonglong offset_us) {
    if (!can_seek()) return;
    const qlonglong target = std::max<qlonglong>(0, position_us() + offset_us);
    transport_.seek(target / 1000);
    note_position();
    emit Seeked(position_us());
    refresh();
}

void MprisService::set_position(const QDBusObjectPath& track, qlonglong position_us_) {
    // A position meant for another file (the desktop's view was behind) is
    // not applied to this one.
    const auto t = transport_.track();
    if (!t || track != track_id() || position_us_ < 0 || position_us_ > qlonglong(t->length_ms) * 1000) return;
    transport_.seek(position_us_ / 1000);
    note_position();
    emit Seeked(position_us());
    refresh();
}

void MprisService::set_rate(double rate) {
    if (!std::isfinite(rate) || rate <= 0) return;
    transport_.set_rate(std::clamp(rate, transport_.min_rate(), transport_.max_rate()));
    refresh();
}

void MprisService::open_uri(const QString& uri) {
    const QUrl url(uri);
    if (!url.isLocalFile() || !OnOpenFile) return;
    OnOpenFile(url.toLocalFile());
    refresh();
}

void MprisService::raise_window() {
    if (OnRaise) OnRaise();
}

void MprisService::quit() {
    if (OnQuit) OnQuit();
}

MprisService::Snapshot MprisService::snapshot() const {
    Snapshot s;
    s.status = playback_status();
    s.metadata = metadata();
    s.rate = transport_.rate();
    s.min_rate = transport_.min_rate();
    s.max_rate = transport_.max_rate();
    s.can_play = transport_.can_play();
    s.can_pause = transport_.status() != PlaybackStatus::Stopped;
    s.can_seek = can_seek();
    return s;
}

void MprisService::note_position() {
    last_position_us_ = position_us();
    since_last_.start();
}

void MprisService::announce(const QString& interface, const QVariantMap& changed) {
    if (!published_ || changed.isEmpty()) return;
    QDBusMessage signal =
        QDBusMessage::createSignal(kObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                   QStringLiteral("PropertiesChanged"));
    signal << interface << changed << QStringList();
    bus_.send(signal);
}

void MprisService::refresh() {
    const Snapshot now = snapshot();
    if (!last_) last_ = now;
    QVariantMap changed;
    if (now.status != last_->status) changed.insert(QStringLiteral("PlaybackStatus"), now.status);
    if (now.metadata != last_->metadata) changed.insert(QStringLiteral("Metadata"), now.metadata);
    if (now.rate != last_->rate) changed.insert(QStringLiteral("Rate"), now.rate);
    if (now.min_rate != last_->min_rate) changed.insert(QStringLiteral("MinimumRate"), now.min_rate);
    if (now.max_rate != last_->max_rate) changed.insert(QStringLiteral("MaximumRate"), now.max_rate);
    if (now.can_play != last_->can_play) changed.insert(QStringLiteral("CanPlay"), now.can_play);
    if (now.can_pause != last_->can_pause) changed.insert(QStringLiteral("CanPause"), now.can_pause);
    if (now.can_seek != last_->can_seek) changed.insert(QStringLiteral("CanSeek"), now.can_seek);
    announce(kPlayerInterface, changed);

    // Playing on moves the position by the time passed; anything else is a jump.
    const qlonglong position = position_us();
    const qlonglong expected =
        last_position_us_ + (last_->status == QLatin1String("Playing") ? since_last_.elapsed() * 1000 : 0);
    const bool same_track = now.metadata.value("mpris:trackid") == last_->metadata.value("mpris:trackid");
    if (same_track && now.status != QLatin1String("Stopped") && std::llabs(position - expected) > kJumpUs)
        emit Seeked(position);
    note_position();
    last_ = now;
}

}  // namespace murrel
