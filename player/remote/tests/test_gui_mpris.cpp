// The media-player service on a private session bus (a dbus-daemon of the
// test's own), called through a second connection as a desktop's player
// widget or a media key daemon calls it.
#include <gtest/gtest.h>

#include <signal.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusReply>
#include <QDBusVariant>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <string>

#include "player/remote/dbus/mpris_service.h"
#include "player/remote/tests/fake_transport.h"

namespace murrel {
namespace {

using remotetest::FakeTransport;

constexpr const char* kPlayer = "org.mpris.MediaPlayer2.Player";
constexpr const char* kPath = "/org/mpris/MediaPlayer2";

// What the client connection hears from the service.
class Listener : public QObject {
    Q_OBJECT
public:
    QList<qlonglong> seeked;
    QList<QVariantMap> changed;
public slots:
    void on_seeked(qlonglong position) { seeked << position; }
    void on_changed(const QString& interface, const QVariantMap& properties, const QStringList&) {
        if (interface == kPlayer) changed << properties;
    }
};

class MprisTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        FILE* p = ::popen("dbus-daemon --session --fork --nopidfile --print-address=1 --print-pid=1 2>/dev/null", "r");
        ASSERT_TRUE(p);
        char line[512] = {};
        if (std::fgets(line, sizeof line, p)) address_ = new std::string(line);
        if (std::fgets(line, sizeof line, p)) bus_pid_ = std::atoi(line);
        ::pclose(p);
        ASSERT_TRUE(address_ && address_->size() > 1) << "no dbus-daemon";
        address_->pop_back();
    }
    static void TearDownTestSuite() {
        if (bus_pid_ > 0) ::kill(bus_pid_, SIGTERM);
        delete address_;
        address_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(address_);
        static int n = 0;
        const QString id = QString::number(++n);
        service_bus = QDBusConnection::connectToBus(QString::fromStdString(*address_), "service" + id);
        client = QDBusConnection::connectToBus(QString::fromStdString(*address_), "client" + id);
        ASSERT_TRUE(service_bus.isConnected());
        service = std::make_unique<MprisService>(transport);
        QString why;
        ASSERT_TRUE(service->publish(service_bus, &why)) << why.toStdString();
        name = service->service_name();
        client.connect(name, kPath, kPlayer, "Seeked", &listener, SLOT(on_seeked(qlonglong)));
        client.connect(name, kPath, "org.freedesktop.DBus.Properties", "PropertiesChanged", &listener,
                       SLOT(on_changed(QString, QVariantMap, QStringList)));
    }
    void TearDown() override {
        service.reset();
        QDBusConnection::disconnectFromBus(service_bus.name());
        QDBusConnection::disconnectFromBus(client.name());
    }

    // Built by hand: a QDBusInterface would ask for the object's description
    // first, blocking the thread the service answers on.
    QDBusMessage send(const char* interface, const char* method, const QVariantList& args) {
        QDBusMessage m = QDBusMessage::createMethodCall(name, kPath, interface, method);
        m.setArguments(args);
        return client.call(m, QDBus::BlockWithGui, 5000);
    }
    QDBusMessage call(const char* method, const QVariantList& args = {}) {
        QDBusMessage reply = send(kPlayer, method, args);
        EXPECT_NE(reply.type(), QDBusMessage::ErrorMessage) << method << ": " << reply.errorMessage().toStdString();
        return reply;
    }
    QVariant get(const char* interface, const char* property) {
        QDBusMessage reply = send("org.freedesktop.DBus.Properties", "Get", {QString(interface), QString(property)});
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << property << ": " << reply.errorMessage().toStdString();
        if (reply.arguments().isEmpty()) return {};
        return reply.arguments().at(0).value<QDBusVariant>().variant();
    }
    void set(const char* property, const QVariant& value) {
        send("org.freedesktop.DBus.Properties", "Set",
             {QString(kPlayer), QString(property), QVariant::fromValue(QDBusVariant(value))});
    }
    QVariantMap metadata() { return qdbus_cast<QVariantMap>(get(kPlayer, "Metadata").value<QDBusArgument>()); }
    // Lets the bus deliver what is on its way.
    static void settle(int ms = 150) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }

    static std::string* address_;
    static pid_t bus_pid_;
    FakeTransport transport;
    QDBusConnection service_bus{QString()};
    QDBusConnection client{QString()};
    std::unique_ptr<MprisService> service;
    QString name;
    Listener listener;
};

std::string* MprisTest::address_ = nullptr;
pid_t MprisTest::bus_pid_ = -1;

TEST_F(MprisTest, TheCommandsDriveTheTransportAndTheStatusReadsBack) {
    EXPECT_EQ(name, "org.mpris.MediaPlayer2.murrelphonic");
    EXPECT_EQ(get(kPlayer, "PlaybackStatus").toString(), "Stopped");
    EXPECT_FALSE(get(kPlayer, "CanPause").toBool());
    call("Play");
    EXPECT_EQ(transport.status(), PlaybackStatus::Playing);
    EXPECT_EQ(get(kPlayer, "PlaybackStatus").toString(), "Playing");
    call("Pause");
    EXPECT_EQ(get(kPlayer, "PlaybackStatus").toString(), "Paused");
    call("PlayPause");
    EXPECT_EQ(transport.status(), PlaybackStatus::Playing);
    call("Stop");
    EXPECT_EQ(get(kPlayer, "PlaybackStatus").toString(), "Stopped");
    EXPECT_EQ(get("org.mpris.MediaPlayer2", "Identity").toString(), "Murrelphonic");
    EXPECT_EQ(get("org.mpris.MediaPlayer2", "DesktopEntry").toString(), "murrelphonic");
}

TEST_F(MprisTest, SeekMovesByMicrosecondsFromWhereTheFileIsAndStopsAtItsStart) {
    call("Play");
    transport.position = 10000;
    call("Seek", {QVariant::fromValue(qlonglong(5'000'000))});
    EXPECT_EQ(transport.position, 15000);
    EXPECT_EQ(get(kPlayer, "Position").toLongLong(), 15'000'000);
    call("Seek", {QVariant::fromValue(qlonglong(-60'000'000))});
    EXPECT_EQ(transport.position, 0);
    settle();
    EXPECT_EQ(listener.seeked, (QList<qlonglong>{15'000'000, 0}));
    // Past the end: as the slider's end, the file ends.
    transport.position = 50000;
    call("Seek", {QVariant::fromValue(qlonglong(20'000'000))});
    EXPECT_EQ(transport.status(), PlaybackStatus::Stopped);
    // A stopped player does not seek.
    transport.calls.clear();
    call("Seek", {QVariant::fromValue(qlonglong(1'000'000))});
    EXPECT_TRUE(transport.calls.empty());
}

TEST_F(MprisTest, SetPositionAppliesOnlyToTheCurrentTrackAndInsideIt) {
    call("Play");
    const QVariantMap m = metadata();
    const QDBusObjectPath track = m.value("mpris:trackid").value<QDBusObjectPath>();
    ASSERT_TRUE(track.path().startsWith("/org/murrelphonic/track/")) << track.path().toStdString();
    call("SetPosition", {QVariant::fromValue(track), QVariant::fromValue(qlonglong(42'000'000))});
    EXPECT_EQ(transport.position, 42000);
    call("SetPosition", {QVariant::fromValue(QDBusObjectPath("/org/murrelphonic/track/999")),
                         QVariant::fromValue(qlonglong(1'000'000))});
    EXPECT_EQ(transport.position, 42000) << "a position meant for another file was applied";
    call("SetPosition", {QVariant::fromValue(track), QVariant::fromValue(qlonglong(61'000'000))});
    call("SetPosition", {QVariant::fromValue(track), QVariant::fromValue(qlonglong(-1))});
    EXPECT_EQ(transport.position, 42000);
}

TEST_F(MprisTest, TheMetadataNamesTheFileItsTitleAndLengthUnderOneTrackId) {
    EXPECT_EQ(metadata().value("mpris:trackid").value<QDBusObjectPath>().path(),
              "/org/mpris/MediaPlayer2/TrackList/NoTrack");
    call("Play");
    const QVariantMap m = metadata();
    EXPECT_EQ(m.value("xesam:title").toString(), "memo");
    EXPECT_EQ(m.value("mpris:length").toLongLong(), 60'000'000);
    EXPECT_EQ(m.value("xesam:url").toString(), "file:///data/memo.vkd");
    const QString first = m.value("mpris:trackid").value<QDBusObjectPath>().path();
    EXPECT_EQ(metadata().value("mpris:trackid").value<QDBusObjectPath>().path(), first) << "the id is stable";
}

TEST_F(MprisTest, ChangesTheDesktopDidNotAskForAreAnnouncedOnce) {
    transport.set_status(PlaybackStatus::Playing);  // the play button, not the bus
    service->refresh();
    service->refresh();
    settle();
    ASSERT_EQ(listener.changed.size(), 1);
    EXPECT_EQ(listener.changed[0].value("PlaybackStatus").toString(), "Playing");
    EXPECT_TRUE(listener.changed[0].contains("Metadata"));
    EXPECT_TRUE(listener.changed[0].value("CanPause").toBool());
    // The position slider moved it: a jump, told by Seeked.
    listener.seeked.clear();
    transport.position = 40000;
    service->refresh();
    settle();
    EXPECT_EQ(listener.seeked, QList<qlonglong>{40'000'000});
}

TEST_F(MprisTest, TheRateStaysInsideTheTransportsRangeAndZeroIsRefused) {
    EXPECT_EQ(get(kPlayer, "MinimumRate").toDouble(), 0.5);
    EXPECT_EQ(get(kPlayer, "MaximumRate").toDouble(), 2.0);
    set("Rate", 1.5);
    EXPECT_EQ(transport.rate(), 1.5);
    set("Rate", 3.0);
    EXPECT_EQ(transport.rate(), 2.0);
    set("Rate", 0.0);
    EXPECT_EQ(transport.rate(), 2.0);
    EXPECT_EQ(get(kPlayer, "Rate").toDouble(), 2.0);
}

TEST_F(MprisTest, ASecondPlayerOnTheSameBusTakesAnInstanceName) {
    FakeTransport other;
    MprisService second(other);
    QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(*address_), "second");
    QString why;
    ASSERT_TRUE(second.publish(bus, &why)) << why.toStdString();
    EXPECT_TRUE(second.service_name().startsWith("org.mpris.MediaPlayer2.murrelphonic.instance"));
    second.unpublish();
    QDBusConnection::disconnectFromBus("second");
}

TEST(MprisWithoutBus, PublishingWithoutABusFailsWithAReason) {
    FakeTransport t;
    MprisService s(t);
    QString why;
    EXPECT_FALSE(s.publish(QDBusConnection::connectToBus(QString("unix:path=/nonexistent/bus"), "nobus"), &why));
    EXPECT_FALSE(why.isEmpty());
}

}  // namespace
}  // namespace murrel

#include "test_gui_mpris.moc"
