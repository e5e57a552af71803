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
// "edit <percent-encoded absolute path>\n" before kActivate: the file for the
// Voice Editor. An instance that predates it ignores the line, as it ignores
// every line it does not know, and only comes forward.
constexpr char kEdit[] = "edit ";
constexpr int kConnectTimeoutMs = 1000;
constexpr qint64 kMaxLine = 16 * 1024;
}  // namespace

struct SingleInstance::Impl {
    std::unique_ptr<QLocalServer> server;
    HandoverHandler handler;
    std::vector<Handover> pending;

    // Delivered from the event loop, never from inside the socket's read:
    // the handler may run a loop of its own (a question, a progress dialog)
    // in which the socket ends and is deleted under the read.
    void activate(Handover handover) {
        QMetaObject::invokeMethod(
            server.get(),
            [this, handover = std::move(handover)]() mutable {
                if (handler)
                    handler(handover);
                else
                    pending.push_back(std::move(handover));
            },
            Qt::QueuedConnection);
    }

    // The path of a "<verb> <path>\n" line, or "" when it holds none.
    static std::string path_of(const QByteArray& line, size_t verb_length) {
        const QByteArray path =
            QByteArray::fromPercentEncoding(line.mid(qsizetype(verb_length)).chopped(1));
        if (path.isEmpty() || path.contains('\0')) return {};
        return path.toStdString();
    }

    void serve(QLocalSocket* socket) {
        QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto request = std::make_shared<Handover>();
        auto drain = [this, socket, request] {
            // Anything but the three requests is ignored.
            while (socket->canReadLine()) {
                const QByteArray line = socket->readLine(kMaxLine);
                if (line == kActivate) {
                    activate(std::move(*request));
                    *request = {};
                } else if (line.startsWith(kOpen) && line.endsWith('\n')) {
                    if (std::string path = path_of(line, sizeof kOpen - 1); !path.empty())
                        request->files.push_back(std::move(path));
                } else if (line.startsWith(kEdit) && line.endsWith('\n')) {
                    if (std::string path = path_of(line, sizeof kEdit - 1); !path.empty())
                        request->edit = std::move(path);
                }
            }
        };
        QObject::connect(socket, &QLocalSocket::readyRead, socket, drain);
        drain();
    }

    static bool ask_running_instance(const QString& socket_name, const Handover& handover) {
        QLocalSocket socket;
        socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
        socket.connectToServer(socket_name);
        if (!socket.waitForConnected(kConnectTimeoutMs)) return false;
        for (const std::string& f : handover.files)
            socket.write(kOpen + QByteArray::fromStdString(f).toPercentEncoding("/") + "\n");
        if (!handover.edit.empty())
            socket.write(kEdit + QByteArray::fromStdString(handover.edit).toPercentEncoding("/") + "\n");
        socket.write(kActivate);
        socket.waitForBytesWritten(kConnectTimeoutMs);
        socket.disconnectFromServer();
        return true;
    }
};

SingleInstance::SingleInstance() : impl_(std::make_unique<Impl>()) {}
SingleInstance::~SingleInstance() = default;

bool SingleInstance::claim(const std::string& name, const std::vector<std::string>& files) {
    return claim(name, Handover{files, {}});
}

bool SingleInstance::claim(const std::string& name, const Handover& handover) {
    release();
    const QString socket_name = QString::fromStdString(instance_socket_name(name));
    // Connecting first and listening second makes listen() the lock: of two
    // starts racing past the connect, only one can listen; the other connects
    // on its next round.
    for (int round = 0; round < 3; ++round) {
        if (Impl::ask_running_instance(socket_name, handover)) return true;
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
    if (!handler) return set_handover_handler(nullptr);
    set_handover_handler([handler = std::move(handler)](const Handover& h) { handler(h.files); });
}

void SingleInstance::set_handover_handler(HandoverHandler handler) {
    impl_->handler = std::move(handler);
    if (!impl_->handler) return;
    std::vector<Handover> waiting;
    waiting.swap(impl_->pending);
    for (const Handover& h : waiting) impl_->handler(h);
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

namespace {
std::string absolute_path(const std::string& f) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(f, ec);
    return ec ? f : p.lexically_normal().string();
}
}  // namespace

StartupResult start_program(const StartupOptions& options, const std::vector<std::string>& files) {
    return start_program(options, Handover{files, {}});
}

StartupResult start_program(const StartupOptions& options, const Handover& handover) {
    // The running instance has another working folder.
    Handover absolute;
    for (const std::string& f : handover.files) absolute.files.push_back(absolute_path(f));
    if (!handover.edit.empty()) absolute.edit = absolute_path(handover.edit);
    const std::string name = options.instance_name.empty() ? app().app_name : options.instance_name;
    app().instance_exists = single_instance().claim(name, absolute);
    if (app().instance_exists) {
        StartupResult result;
        result.another_instance = true;
        return result;
    }
    return start_up(options);
}

}  // namespace murrel
