// A second program for the single-instance tests: runs the program's start
// (single-instance check, then start-up) the way the real program does and
// reports on standard output what happened.
//   instance_probe NAME PROGRAM_DIR FALLBACK_DIR LIFETIME_MS [FILE...]
// Prints "first" when it became the instance (then "activated" and the files
// handed over, one per line, for every request to come forward) and exits 0 after LIFETIME_MS; prints "another" and
// exits 3 when another instance runs; exits 2 when start-up failed.
#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "shell/instance/single_instance.h"
#include "shell/startup.h"

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: instance_probe NAME PROGRAM_DIR FALLBACK_DIR LIFETIME_MS [FILE...]\n");
        return 64;
    }
    QCoreApplication application(argc, argv);
    murrel::StartupOptions options;
    options.instance_name = argv[1];
    options.program_dir = argv[2];
    options.fallback_dir = argv[3];
    murrel::StartupResult started = murrel::start_program(options, std::vector<std::string>(argv + 5, argv + argc));
    if (started.another_instance) {
        std::puts("another");
        return 3;
    }
    if (!started.ok) return 2;
    murrel::single_instance().set_activation_handler([](const std::vector<std::string>& files) {
        std::puts("activated");
        for (const std::string& f : files) std::printf("file %s\n", f.c_str());
        std::fflush(stdout);
    });
    std::puts("first");
    std::fflush(stdout);
    QTimer::singleShot(std::atoi(argv[4]), &application, &QCoreApplication::quit);
    int rc = application.exec();
    murrel::single_instance().release();
    return rc;
}
