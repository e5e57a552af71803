#include "shell/instance/single_instance.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include <QByteArray>
#include <QLocalServer>
#include <QLocalSocket>
#include <QObject>

#include "shell/appstate.h"
#include "shell/startup.h"

namespace murrel {

namespace {
constexpr char kActivate[] = "activate\n";
// "open <percent-encoded absolute path>\n" for each file, then kActivate: a
// path may hold any byte but NUL, the encoded line none that ends it.
constexpr char kOpen[] = "open ";
constexpr int kConnectTimeoutMs = 1000;
constexpr qint64 kMaxLine = 16 * 1024;
}  // namespace

struct SingleInstance::Impl {
    std::unique_ptr<QLocalServer> server;
    ActivationHandler handler;
    std::vector<std::vector<std::string>> pending;

    void activate(std::vector<std::string> files) {
        if (handler)
            handler(files);
        else
            pending.push_back(std::move(files));
    }

    void serve(QLocalSocket* socket) {
        QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto files = std::make_shared<std::vector<std::string>>();
        auto drain = [this, socket, files] {
            // Anything but the two requests is ignored.
            while (socket->canReadLine()) {
                const QByteArray line = socket->readLine(kMaxLine);
                if (line == kActivate) {
                    activate(std::move(*files));
                    files->clear();
                } else if (line.startsWith(kOpen) && line.endsWith('\n')) {
                    const QByteArray path = QByteArray::fromPercentEncoding(line.mid(5).chopped(1));
                    if (!path.isEmpty() && !path.contains('\0')) files->push_back(path.toStdString());
                }
            }
        };
        QObject::connect(socket, &QLocalSocket::readyRead, socket, drain);
        drain();
    }

    static bool ask_running_instance(const QString& socket_name, const std::vector<std::string>& files) {
        QLocalSocket socket;
        socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
        socket.connectToServer(socket_name);
        if (!socket.waitForConnected(kConnectTimeoutMs)) return false;
        for (const std::string& f : files)
            socket.write(kOpen + QByteArray::fromStdString(f).toPercentEncoding("/") + "\n");
        socket.write(kActivate);
        socket.waitForBytesWritten(kConnectTimeoutMs);
        socket.disconnectFromServer();
        return true;
    }
};

SingleInstance::SingleInstance() : impl_(std::make_unique<Impl>()) {}
SingleInstance::~SingleInstance() = default;

bool SingleInstance::claim(const std::string& name, const std::vector<std::string>& files) {
    release();
    const QString socket_name = QString::fromStdString(instance_socket_name(name));
    // Connecting first and listening second makes listen() the lock: of two
    // starts racing past the connect, only one can listen; the other connects
    // on its next round.
    for (int round = 0; round < 3; ++round) {
        if (Impl::ask_running_instance(socket_name, files)) return true;
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
    impl_->pending.clear();
}

bool SingleInstance::owns() const { return impl_->server && impl_->server->isListening(); }

void SingleInstance::set_activation_handler(ActivationHandler handler) {
    impl_->handler = std::move(handler);
    if (!impl_->handler) return;
    std::vector<std::vector<std::string>> waiting;
    waiting.swap(impl_->pending);
    for (const auto& files : waiting) impl_->handler(files);
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

bool DoInstanceExist(const std::string& name, const std::vector<std::string>& files) {
    app().instance_exists = single_instance().claim(name, files);
    return app().instance_exists;
}

StartupResult start_program(const StartupOptions& options, const std::vector<std::string>& files) {
    // The running instance has another working folder.
    std::vector<std::string> absolute;
    std::error_code ec;
    for (const std::string& f : files) {
        std::filesystem::path p = std::filesystem::absolute(f, ec);
        absolute.push_back(ec ? f : p.lexically_normal().string());
    }
    if (DoInstanceExist(options.instance_name.empty() ? app().app_name : options.instance_name, absolute)) {
        StartupResult result;
        result.another_instance = true;
        return result;
    }
    return start_up(options);
}

}  // namespace murrel
