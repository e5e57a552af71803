#include "cli/batch_console.h"

#include <poll.h>
#include <sys/stat.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "shell/appstate.h"
#include "shell/catalogue.h"
#include "shell/dialogs.h"
#include "shell/startup.h"
#include "voicefile/naming.h"

namespace murrel {

namespace {

volatile std::sig_atomic_t interrupted = 0;
bool bar_shown = false;  // a progress bar is drawn on standard error

void on_interrupt(int sig) {
    interrupted = sig;
    app().convert_cancel.store(true);  // lock-free: safe in a handler
}

struct EnglishText {
    const char* key;
    const char* text;
};

// Used when the catalogue has no text, so that the console never shows an empty message.
constexpr EnglishText kFallbackTexts[] = {
    {"FM_text_system_errmsg2", "The voice file could not be created or written."},
    {"FM_text_system_errmsg3", "The voice file could not be opened."},
    {"FM_text_system_errmsg6", "The WAV file could not be opened or converted to the recorder's format."},
    {"FM_text_system_errmsg7", "This file is neither a WAV file nor a valid voice file."},
    {"FM_text_system_errmsg10", "already exists and was not overwritten."},
    {"FM_text_system_errmsg11", "This file cannot be decoded: it is not a valid MP3 voice file."},
    {"FM_text_system_errmsg12", "No sound output device was found."},
};

std::string current_file;

// Console boxes that say which file they are about.
class BatchDialogs final : public DialogService {
public:
    DialogResult message_box(const MessageRequest& request) override {
        const char* kind = request.icon == MessageIcon::Error ? "error" : request.icon == MessageIcon::Warning ? "warning" : "note";
        // The bar's line is cleared first only where a bar is drawn.
        std::fprintf(stderr, "%smurrelphonic-cli: %s%s%s: %s\n", bar_shown ? "\r\033[K" : "", current_file.c_str(),
                     current_file.empty() ? "" : ": ", kind, request.text.c_str());
        // Questions take their safe answer, as on any console.
        switch (request.buttons) {
        case MessageButtons::Ok: return DialogResult::Ok;
        case MessageButtons::YesNo: return DialogResult::No;
        default: return DialogResult::Cancel;
        }
    }
    std::vector<std::string> open_files(const FileDialogRequest&) override { return {}; }
    std::optional<std::string> save_file(const FileDialogRequest&) override { return std::nullopt; }
    std::optional<std::string> choose_folder(const FolderDialogRequest&) override { return std::nullopt; }
};

int terminal_width() {
    struct winsize ws {};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col >= 40) return ws.ws_col;
    return 80;
}

class BarDrawer {
public:
    BarDrawer(bool enabled, const char* verb, std::size_t total) : enabled_(enabled), verb_(verb), total_(total) {}
    // `fraction` of the whole run, 0..1; `note` shown after the counts.
    void draw(double fraction, std::size_t finished, const std::string& note) {
        if (!enabled_) return;
        int percent = static_cast<int>(std::clamp(fraction, 0.0, 1.0) * 100);
        if (percent == last_percent_ && finished == last_finished_ && note == last_note_) return;
        last_percent_ = percent;
        last_finished_ = finished;
        last_note_ = note;
        const int width = 24;
        int filled = percent * width / 100;
        std::string line = std::string(verb_) + " [" + std::string(filled, '#') +
                           std::string(width - filled, '-') + "] " + std::to_string(percent) + "%  " +
                           std::to_string(finished) + "/" + std::to_string(total_) + "  " + note;
        const std::size_t cols = static_cast<std::size_t>(terminal_width() - 1);
        if (line.size() > cols) line.resize(cols);
        std::fprintf(stderr, "\r%s\033[K", line.c_str());
        std::fflush(stderr);
    }
    void clear() {
        if (!enabled_ || last_percent_ < 0) return;
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
        last_percent_ = -1;
    }

private:
    bool enabled_;
    const char* verb_;
    std::size_t total_;
    int last_percent_ = -1;
    std::size_t last_finished_ = 0;
    std::string last_note_;
};

// Progress of a conversion in this process.
class LocalProgress final : public ConversionProgress {
public:
    LocalProgress(BarDrawer& bar, std::size_t finished, std::size_t total, std::string name)
        : bar_(bar), finished_(finished), total_(total), name_(std::move(name)) {}
    void set_current(int percent) override {
        bar_.draw((finished_ + percent / 100.0) / static_cast<double>(total_), finished_, name_);
    }
    void process_events() override {
        // A conversion clears the cancel flag when it starts; an interrupt that
        // came just before must still count.
        if (interrupted) app().convert_cancel = true;
    }

private:
    BarDrawer& bar_;
    std::size_t finished_, total_;
    std::string name_;
};

// Progress of a conversion in a worker: each new percentage is one byte on a pipe.
class PipeProgress final : public ConversionProgress {
public:
    explicit PipeProgress(int fd) : fd_(fd) {}
    void set_current(int percent) override {
        if (percent == last_) return;
        last_ = percent;
        unsigned char b = static_cast<unsigned char>(std::clamp(percent, 0, 100));
        [[maybe_unused]] ssize_t r = ::write(fd_, &b, 1);
    }
    void process_events() override {
        if (interrupted) app().convert_cancel = true;
    }

private:
    int fd_;
    int last_ = -1;
};

int exit_code(FileOutcome outcome) {
    return outcome == FileOutcome::Done ? 0 : outcome == FileOutcome::Cancelled ? 130 : 1;
}

struct Worker {
    pid_t pid;
    int fd;
    std::size_t index;
    int percent = 0;
};

}  // namespace

bool batch_interrupted() { return interrupted != 0; }

void set_batch_file(const std::string& file) { current_file = file; }

void batch_note(const std::string& line) {
    if (bar_shown) {
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
    }
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

bool output_ready(const OutputTarget& output) {
    if (output.ready()) return true;
    show_error(output.target() + ": could not be created (" + std::strerror(errno) + ")");
    return false;
}

FileOutcome settle_output(OutputTarget& output, bool complete, const std::string& source, bool quiet) {
    const std::string& target = output.target();
    if (complete) {
        if (!output.commit()) {
            show_error(target + ": could not replace the existing file (" + std::strerror(errno) + ")");
            return FileOutcome::Failed;
        }
        if (!quiet) batch_note(source + " -> " + target);
        return FileOutcome::Done;
    }
    output.abandon();
    struct stat st {};
    const std::string kept = output.replaces()                       ? "the existing file was left as it was"
                             : ::lstat(target.c_str(), &st) == 0 ? "what was written before it stopped is kept in " + target
                                                                 : "nothing was written";
    if (app().convert_cancel) {
        if (!quiet) batch_note(source + " -> " + target + " (cancelled: " + kept + ")");
        return FileOutcome::Cancelled;
    }
    std::fprintf(stderr, "murrelphonic-cli: %s: %s\n", source.c_str(), kept.c_str());
    return FileOutcome::Failed;
}

void load_console_texts() {
    const std::string dir = program_folder();
    std::string ini = dir + app().app_name + ".ini";
    if (::access(ini.c_str(), R_OK) != 0) {
        const char* home = std::getenv("HOME");
        if (home) {
            std::string user_ini = std::string(home) + "/.local/share/" + app().app_name + "/" + app().app_name + ".ini";
            if (::access(user_ini.c_str(), R_OK) == 0) ini = user_ini;
        }
    }
    app().ini_path = ini;
    getmessage_frominifile(CatalogueWindow::Main);
    for (const EnglishText& t : kFallbackTexts)
        if (app().message(t.key).empty()) app().messages[t.key] = t.text;
}

bool parse_batch_args(const std::vector<std::string>& args, BatchOptions& options,
                      std::vector<std::string>& files,
                      const std::function<int(const std::vector<std::string>&, std::size_t)>& extra) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-o" || a == "--output") {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "murrelphonic-cli: %s needs a folder\n", a.c_str());
                return false;
            }
            options.out_dir = args[++i];
        } else if (a == "--overwrite") {
            options.overwrite = true;
        } else if (a == "--quiet" || a == "-q") {
            options.quiet = true;
        } else if (a == "-j" || a == "--jobs") {
            if (i + 1 >= args.size() || std::atoi(args[i + 1].c_str()) <= 0) {
                std::fprintf(stderr, "murrelphonic-cli: %s needs a positive number\n", a.c_str());
                return false;
            }
            options.jobs = std::atoi(args[++i].c_str());
        } else if (int used = extra ? extra(args, i) : 0; used > 0) {
            i += static_cast<std::size_t>(used - 1);
        } else if (used < 0) {
            return false;
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            std::fprintf(stderr, "murrelphonic-cli: unknown option '%s'\n", a.c_str());
            return false;
        } else {
            files.push_back(a);
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "murrelphonic-cli: no files given\n");
        return false;
    }
    if (!options.out_dir.empty() && options.out_dir != "-" && ::access(options.out_dir.c_str(), W_OK) != 0) {
        std::fprintf(stderr, "murrelphonic-cli: output folder '%s' is not a writable folder\n",
                     options.out_dir.c_str());
        return false;
    }
    return true;
}

std::string batch_target(const std::string& source, const std::string& out_dir, int kind) {
    const std::string name = make_autofilename(file_name_of(source), kind);
    std::string folder = out_dir.empty() ? folder_of(source) : out_dir;
    return folder.empty() ? name : AddSlash(folder) + name;
}

std::string input_problem(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::strerror(errno);
    if (S_ISDIR(st.st_mode)) return "is a directory";
    if (::access(path.c_str(), R_OK) != 0) return std::string("cannot be read (") + std::strerror(errno) + ")";
    return {};
}

int run_batch(const std::vector<std::string>& all_files, const BatchOptions& options, const char* verb,
              const std::function<FileOutcome(const std::string&, ConversionProgress&)>& convert) {
    // A file that is not there (or is a folder) is said so at once, not
    // handed to a conversion that would call it an invalid file.
    std::vector<std::string> files;
    bool input_failed = false;
    for (const std::string& f : all_files) {
        if (const std::string why = input_problem(f); !why.empty()) {
            std::fprintf(stderr, "murrelphonic-cli: %s: %s\n", f.c_str(), why.c_str());
            input_failed = true;
        } else {
            files.push_back(f);
        }
    }
    interrupted = 0;
    struct sigaction sa {};
    sa.sa_handler = on_interrupt;
    sigemptyset(&sa.sa_mask);
    struct sigaction old_int {}, old_term {}, old_hup {};
    ::sigaction(SIGINT, &sa, &old_int);
    ::sigaction(SIGTERM, &sa, &old_term);
    ::sigaction(SIGHUP, &sa, &old_hup);

    BatchDialogs batch_dialogs;
    set_dialog_service(&batch_dialogs);

    bar_shown = !options.quiet && ::isatty(STDERR_FILENO);
    BarDrawer bar(bar_shown, verb, files.size());
    std::size_t jobs = options.jobs > 0 ? static_cast<std::size_t>(options.jobs)
                                        : std::max(1u, std::thread::hardware_concurrency());
    jobs = std::min(jobs, files.size());
    std::size_t finished = 0;
    bool any_failed = false;

    auto record = [&](FileOutcome outcome) {
        ++finished;
        if (outcome != FileOutcome::Done) any_failed = true;
    };

    if (jobs <= 1) {
        for (const std::string& file : files) {
            if (interrupted) break;
            LocalProgress progress(bar, finished, files.size(), file_name_of(file));
            set_batch_file(file);
            progress.set_current(0);
            FileOutcome outcome = convert(file, progress);
            bar.clear();
            record(outcome);
        }
    } else {
        std::vector<Worker> workers;
        std::size_t next = 0;
        bool forwarded = false;
        while (next < files.size() || !workers.empty()) {
            while (!interrupted && workers.size() < jobs && next < files.size()) {
                int fds[2];
                if (::pipe(fds) != 0) break;
                std::fflush(stdout);
                std::fflush(stderr);
                pid_t pid = ::fork();
                if (pid == 0) {
                    ::close(fds[0]);
                    for (const Worker& w : workers) ::close(w.fd);
                    PipeProgress progress(fds[1]);
                    set_batch_file(files[next]);
                    FileOutcome outcome = convert(files[next], progress);
                    std::fflush(stdout);
                    std::fflush(stderr);
                    ::_exit(exit_code(outcome));
                }
                ::close(fds[1]);
                if (pid < 0) {
                    ::close(fds[0]);
                    // No more processes: convert it here instead.
                    LocalProgress progress(bar, finished, files.size(), file_name_of(files[next]));
                    set_batch_file(files[next]);
                    record(convert(files[next++], progress));
                    continue;
                }
                workers.push_back({pid, fds[0], next++});
            }
            if (interrupted && !forwarded) {
                // Ctrl+C reaches the workers by itself; SIGTERM and SIGHUP do not.
                for (const Worker& w : workers) ::kill(w.pid, SIGINT);
                forwarded = true;
            }
            if (workers.empty()) break;

            std::vector<pollfd> polls;
            for (const Worker& w : workers) polls.push_back({w.fd, POLLIN, 0});
            int ready = ::poll(polls.data(), polls.size(), 200);
            if (ready < 0 && errno != EINTR) break;
            for (std::size_t k = workers.size(); k-- > 0;) {
                if (!(polls[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
                unsigned char buf[64];
                ssize_t n = ::read(workers[k].fd, buf, sizeof buf);
                if (n > 0) {
                    workers[k].percent = buf[n - 1];
                    continue;
                }
                if (n < 0 && errno == EINTR) continue;
                ::close(workers[k].fd);
                int status = 0;
                while (::waitpid(workers[k].pid, &status, 0) < 0 && errno == EINTR) {
                }
                FileOutcome outcome = FileOutcome::Failed;
                if (WIFEXITED(status) && WEXITSTATUS(status) == 0) outcome = FileOutcome::Done;
                if (WIFEXITED(status) && WEXITSTATUS(status) == 130) outcome = FileOutcome::Cancelled;
                record(outcome);
                workers.erase(workers.begin() + static_cast<std::ptrdiff_t>(k));
            }
            double sum = static_cast<double>(finished);
            for (const Worker& w : workers) sum += w.percent / 100.0;
            bar.draw(sum / static_cast<double>(files.size()), finished,
                     workers.empty() ? std::string() : file_name_of(files[workers.front().index]));
        }
        bar.clear();
    }

    set_batch_file("");
    set_dialog_service(nullptr);
    bar_shown = false;
    ::sigaction(SIGINT, &old_int, nullptr);
    ::sigaction(SIGTERM, &old_term, nullptr);
    ::sigaction(SIGHUP, &old_hup, nullptr);
    if (interrupted) {
        std::fprintf(stderr, "murrelphonic-cli: interrupted; %zu of %zu file(s) finished\n", finished, files.size());
        return 128 + interrupted;
    }
    return any_failed || input_failed ? 1 : 0;
}

std::vector<std::string> drop_clashing_targets(const std::vector<std::string>& files, const std::string& out_dir,
                                               int kind, const char* verb, bool& clash) {
    std::set<std::string> targets;
    std::vector<std::string> unique;
    clash = false;
    for (const std::string& f : files) {
        std::string target = batch_target(f, out_dir, kind);
        if (targets.insert(target).second) {
            unique.push_back(f);
        } else {
            std::fprintf(stderr, "murrelphonic-cli: %s: skipped, another file given %ss to %s\n", f.c_str(), verb,
                         target.c_str());
            clash = true;
        }
    }
    return unique;
}

}  // namespace murrel
