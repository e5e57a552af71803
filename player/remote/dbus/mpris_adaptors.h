#pragma once
// The two standard interfaces of the media-player object, exported through
// MprisService (which owns them as children). Names are those of the
// interfaces, since the bus exports the properties and methods by them.
#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QStringList>
#include <QVariantMap>

namespace murrel {

class MprisService;

class MprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ can_quit)
    Q_PROPERTY(bool CanRaise READ can_raise)
    Q_PROPERTY(bool HasTrackList READ has_track_list)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktop_entry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ uri_schemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ mime_types)
public:
    explicit MprisRootAdaptor(MprisService* service);
    bool can_quit() const;
    bool can_raise() const;
    bool has_track_list() const { return false; }
    QString identity() const { return QStringLiteral("Murrelphonic"); }
    QString desktop_entry() const { return QStringLiteral("murrelphonic"); }
    QStringList uri_schemes() const { return {QStringLiteral("file")}; }
    QStringList mime_types() const;

public slots:
    void Raise();
    void Quit();

private:
    MprisService* service_;
};

class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playback_status)
    Q_PROPERTY(double Rate READ rate WRITE set_rate)
    Q_PROPERTY(double MinimumRate READ minimum_rate)
    Q_PROPERTY(double MaximumRate READ maximum_rate)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanGoNext READ can_go_next)
    Q_PROPERTY(bool CanGoPrevious READ can_go_previous)
    Q_PROPERTY(bool CanPlay READ can_play)
    Q_PROPERTY(bool CanPause READ can_pause)
    Q_PROPERTY(bool CanSeek READ can_seek)
    Q_PROPERTY(bool CanControl READ can_control)
public:
    explicit MprisPlayerAdaptor(MprisService* service);
    QString playback_status() const;
    double rate() const;
    void set_rate(double rate);
    double minimum_rate() const;
    double maximum_rate() const;
    QVariantMap metadata() const;
    qlonglong position() const;
    bool can_go_next() const { return false; }
    bool can_go_previous() const { return false; }
    bool can_play() const;
    bool can_pause() const;
    bool can_seek() const;
    bool can_control() const { return true; }

public slots:
    void Next() {}
    void Previous() {}
    void Pause();
    void PlayPause();
    void Stop();
    void Play();
    void Seek(qlonglong Offset);
    void SetPosition(const QDBusObjectPath& TrackId, qlonglong Position);
    void OpenUri(const QString& Uri);

signals:
    void Seeked(qlonglong Position);

private:
    MprisService* service_;
};

}  // namespace murrel
