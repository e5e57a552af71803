#pragma once
// One running program per user. The first instance owns a local socket named
// after the program and the user; a later start connects to it, hands it the
// files it was started with, asks it to bring its window forward and ends.
// The name lives in the abstract socket namespace,
// so an instance that crashes leaves nothing behind. Must be used on the thread
// of the application object, whose event loop serves the requests.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "shell/startup.h"

namespace murrel {

// What a later start hands to the running instance.
struct Handover {
    std::vector<std::string> files;  // to show in the list and play
    std::string edit;                // to open in the Voice Editor; "" for none
};

class SingleInstance {
public:
    SingleInstance();
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when another instance of `name` runs for this user; it has been
    // handed `files` and asked to come forward. Otherwise this process now is
    // that instance, until it ends or release() is called.
    bool claim(const std::string& name, const std::vector<std::string>& files = {});
    bool claim(const std::string& name, const Handover& handover);
    void release();
    bool owns() const;

    // Called (from the event loop) whenever a later start asks this instance
    // to bring its window forward, with the files that start was given (none
    // for a plain start). Requests that arrive before a handler is set are
    // delivered when it is set.
    using ActivationHandler = std::function<void(const std::vector<std::string>& files)>;
    void set_activation_handler(ActivationHandler handler);
    // The same with everything the later start handed over.
    using HandoverHandler = std::function<void(const Handover& handover)>;
    void set_handover_handler(HandoverHandler handler);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The process-wide instance.
SingleInstance& single_instance();

// The socket name used for `name`: the name, the user id and a digest of
// $XDG_RUNTIME_DIR when it is set.
std::string instance_socket_name(const std::string& name);

// True when another instance runs (see SingleInstance::claim); also stored in
// app().instance_exists.
bool DoInstanceExist(const std::string& name, const std::vector<std::string>& files = {});

// The program's start: the single-instance check (DoInstanceExist, handing
// over `files` made absolute), then, when this is the only instance, start_up.
// Needs the application object.
StartupResult start_program(const StartupOptions& options = {}, const std::vector<std::string>& files = {});
StartupResult start_program(const StartupOptions& options, const Handover& handover);

}  // namespace murrel
