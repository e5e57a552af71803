#include "shell/instance/single_instance.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <QByteArray>
#include <QLocalServer>
#include <QLocalSocket>
#include <QObject>

#include "shell/appstate.h"
#include "shell/startup.h"

namespace murrel {

namespace {
constexpr char kActivate[] = "activate\n";
constexpr int kConnectTimeoutMs = 1000;
}  // namespace

struct SingleInstance::Impl {
    std::unique_ptr<QLocalServer> server;
    std::function<void()> handler;
    bool pending = false;

    void activate() {
        if (handler)
            handler();
        else
            pending = true;
    }

    void serve(QLocalSocket* socket) {
        QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto drain = [this, socket] {
            // A request is one line; anything else from the socket is ignored.
            while (socket->canReadLine())
                if (socket->readLine(64) == kActivate) activate();
        };
        QObject::connect(socket, &QLocalSocket::readyRead, socket, drain);
        drain();
    }

    static bool ask_running_instance(const QString& socket_name) {
        QLocalSocket socket;
        socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
        socket.connectToServer(socket_name);
        if (!socket.waitForConnected(kConnectTimeoutMs)) return false;
        socket.write(kActivate);
        socket.waitForBytesWritten(kConnectTimeoutMs);
        socket.disconnectFromServer();
        return true;
    }
};

SingleInstance::SingleInstance() : impl_(std::make_unique<Impl>()) {}
SingleInstance::~SingleInstance() = default;

bool SingleInstance::claim(const std::string& name) {
    release();
    const QString socket_name = QString::fromStdString(instance_socket_name(name));
    // Connecting first and listening second makes listen() the lock: of two
    // starts racing past the connect, only one can listen; the other connects
    // on its next round.
    for (int round = 0; round < 3; ++round) {
        if (Impl::ask_running_instance(socket_name)) return true;
        auto server = std::make_unique<QLocalServer>();
        server->setSocketOptions(QLocalServer::AbstractNamespaceOption);
        if (server->listen(socket_name)) {
            QLocalServer* s = server.get();
            QObject::connect(s, &QLocalServer::newConnection, s, [this, s] {
                while (QLocalSocket* socket = s->nextPendingConnection()) impl_->serve(socket);
            });
            impl_->server = std::move(server);
            return false;
        }
        // A name left in the file system by an instance that did not end
        // cleanly (only possible without the abstract namespace).
        if (server->serverError() == QAbstractSocket::AddressInUseError) QLocalServer::removeServer(socket_name);
    }
    // Neither reachable nor claimable: running unguarded beats not running.
    return false;
}

void SingleInstance::release() {
    impl_->server.reset();
    impl_->pending = false;
}

bool SingleInstance::owns() const { return impl_->server && impl_->server->isListening(); }

void SingleInstance::set_activation_handler(std::function<void()> handler) {
    impl_->handler = std::move(handler);
    if (impl_->handler && impl_->pending) {
        impl_->pending = false;
        impl_->handler();
    }
}

SingleInstance& single_instance() {
    static SingleInstance instance;
    return instance;
}

std::string instance_socket_name(const std::string& name) {
    std::string socket = name + "-" + std::to_string(::getuid());
    // One instance per user's runtime folder: the same for every session of
    // a user on a desktop, but a scratch runtime folder (a test run, a
    // sandbox) gets an instance of its own. FNV-1a, so every build agrees.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime) {
        uint32_t h = 2166136261u;
        for (const char* c = runtime; *c; ++c) h = (h ^ static_cast<uint8_t>(*c)) * 16777619u;
        char hex[9];
        std::snprintf(hex, sizeof hex, "%08x", h);
        socket += std::string("-") + hex;
    }
    return socket;
}

bool DoInstanceExist(const std::string& name) {
    app().instance_exists = single_instance().claim(name);
    return app().instance_exists;
}

StartupResult start_program(const StartupOptions& options) {
    if (DoInstanceExist(options.instance_name.empty() ? app().app_name : options.instance_name)) {
        StartupResult result;
        result.another_instance = true;
        return result;
    }
    return start_up(options);
}

}  // namespace murrel
