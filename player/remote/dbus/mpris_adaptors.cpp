#include "player/remote/dbus/mpris_adaptors.h"

#include "player/remote/dbus/mpris_service.h"

namespace murrel {

MprisRootAdaptor::MprisRootAdaptor(MprisService* service) : QDBusAbstractAdaptor(service), service_(service) {}

bool MprisRootAdaptor::can_quit() const { return static_cast<bool>(service_->OnQuit); }
bool MprisRootAdaptor::can_raise() const { return static_cast<bool>(service_->OnRaise); }
QStringList MprisRootAdaptor::mime_types() const {
    return {QStringLiteral("audio/x-murrelphonic-voice"), QStringLiteral("audio/x-wav")};
}
void MprisRootAdaptor::Raise() { service_->raise_window(); }
void MprisRootAdaptor::Quit() { service_->quit(); }

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisService* service) : QDBusAbstractAdaptor(service), service_(service) {
    // Emitted by the service, sent by the bus under this interface.
    setAutoRelaySignals(true);
}

QString MprisPlayerAdaptor::playback_status() const { return service_->playback_status(); }
double MprisPlayerAdaptor::rate() const { return service_->transport().rate(); }
void MprisPlayerAdaptor::set_rate(double rate) { service_->set_rate(rate); }
double MprisPlayerAdaptor::minimum_rate() const { return service_->transport().min_rate(); }
double MprisPlayerAdaptor::maximum_rate() const { return service_->transport().max_rate(); }
QVariantMap MprisPlayerAdaptor::metadata() const { return service_->metadata(); }
qlonglong MprisPlayerAdaptor::position() const { return service_->position_us(); }
bool MprisPlayerAdaptor::can_play() const { return service_->transport().can_play(); }
bool MprisPlayerAdaptor::can_pause() const {
    return service_->transport().status() != PlaybackStatus::Stopped;
}
bool MprisPlayerAdaptor::can_seek() const { return service_->can_seek(); }

void MprisPlayerAdaptor::Pause() {
    service_->transport().pause();
    service_->refresh();
}
void MprisPlayerAdaptor::PlayPause() {
    service_->transport().play_pause();
    service_->refresh();
}
void MprisPlayerAdaptor::Stop() {
    service_->transport().stop();
    service_->refresh();
}
void MprisPlayerAdaptor::Play() {
    service_->transport().play();
    service_->refresh();
}
void MprisPlayerAdaptor::Seek(qlonglong Offset) { service_->seek_by(Offset); }
void MprisPlayerAdaptor::SetPosition(const QDBusObjectPath& TrackId, qlonglong Position) {
    service_->set_position(TrackId, Position);
}
void MprisPlayerAdaptor::OpenUri(const QString& Uri) { service_->open_uri(Uri); }

}  // namespace murrel
