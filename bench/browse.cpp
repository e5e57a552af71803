// Listing a folder of 2,000 voice files with their Type column, then the
// information line for one file and for all of them, through the browser's
// own widgets on the offscreen platform. Peers in the same run: `ls -l` of the
// same folder, and a bare loop that stats each file and reads its 512-byte
// header (the least any such listing must do).
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "filemanager/gui/file_browser.h"
#include "shell/appstate.h"
#include "voicefile/koltheader.h"

namespace fs = std::filesystem;
using murrel::TFileBrowser;

namespace {

constexpr int kFiles = 2000;
constexpr int kRuns = 5;

void make_folder(const fs::path& dir) {
    fs::create_directories(dir);
    for (int i = 0; i < kFiles; ++i) {
        const int codec = 5 + i % 3;
        murrel::KoltHeader h{};
        murrel::make_koltfileheader(h.data(), codec);
        char name[32];
        std::snprintf(name, sizeof name, "DW_A%04d.vkd", i);
        std::ofstream out(dir / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(h.data()), static_cast<std::streamsize>(h.size()));
        out << std::string(2000 + 37 * (i % 50), '\0');  // a second or so of stream
    }
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double time_ms(const std::function<void()>& f) {
    QElapsedTimer t;
    t.start();
    f();
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const fs::path root = fs::temp_directory_path() / ("murrel-bench-browse-" + std::to_string(::getpid()));
    const fs::path a = root / "a", b = root / "b";
    make_folder(a);
    make_folder(b);
    murrel::app().data_dir = root.string();

    QWidget host;
    host.resize(900, 600);
    murrel::BrowserOptions options;
    options.texts_path = (root / "none.ini").string();
    TFileBrowser browser(&host, options);
    browser.open_at(root.string());
    browser.FormShow();
    host.show();
    application.processEvents();

    std::vector<double> listing, one, all, ls_peer, floor_peer, bare_list, probes;
    std::string line_one, line_all;
    int types_set = 0;
    for (int run = 0; run < kRuns; ++run) {
        // Alternate folders so that each run really lists a new folder.
        const std::string dir = (run % 2 ? a : b).string();
        listing.push_back(time_ms([&] {
            browser.edit_directory->setText(QString::fromStdString(dir));
            browser.edit_directoryKeyDown(Qt::Key_Return);
            application.processEvents();
        }));
        types_set = 0;
        for (int r = 0; r < browser.file_mycomputer->count(); ++r)
            if (browser.file_mycomputer->subItem(r, 2).startsWith(QLatin1String("vkd file-"))) ++types_set;
        one.push_back(time_ms([&] {
            browser.file_mycomputer->setSelected(7, true);
            application.processEvents();
        }));
        line_one = browser.info_line();
        all.push_back(time_ms([&] {
            browser.file_mycomputer->selectAll();
            application.processEvents();
        }));
        line_all = browser.info_line();
        browser.file_mycomputer->clearSelection();

        bare_list.push_back(time_ms([&] { (void)murrel::list_directory(dir, "*.*"); }));
        probes.push_back(time_ms([&] {
            for (const auto& entry : fs::directory_iterator(dir)) (void)murrel::probe_file(entry.path().string());
        }));
        ls_peer.push_back(time_ms([&] {
            const std::string cmd = "ls -l --time-style=long-iso '" + dir + "' > /dev/null";
            if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "ls failed\n");
        }));
        floor_peer.push_back(time_ms([&] {
            for (const auto& entry : fs::directory_iterator(dir)) {
                struct stat st {};
                ::stat(entry.path().c_str(), &st);
                const int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
                char header[512];
                if (fd >= 0) {
                    if (::read(fd, header, sizeof header) < 0) std::fprintf(stderr, "read failed\n");
                    ::close(fd);
                }
            }
        }));
    }

    std::printf("browse: %d voice files, median of %d runs\n", kFiles, kRuns);
    std::printf("  list folder with Type column   %8.1f ms  (%d of %d typed)\n", median(listing), types_set,
                browser.file_mycomputer->count());
    std::printf("  information line, one file     %8.1f ms  \"%s\"\n", median(one), line_one.c_str());
    std::printf("  information line, all files    %8.1f ms  \"%s\"\n", median(all), line_all.c_str());
    std::printf("    of which: folder read         %8.1f ms\n", median(bare_list));
    std::printf("    of which: 2,000 header reads  %8.1f ms\n", median(probes));
    const double total = median(listing) + median(all);
    std::printf("  listing + all-files line       %8.1f ms  (budget 1000 ms)\n", total);
    std::printf("  peer: ls -l of the folder      %8.1f ms  (ratio %.1fx)\n", median(ls_peer),
                total / median(ls_peer));
    std::printf("  peer: stat + 512-byte reads    %8.1f ms  (ratio %.1fx)\n", median(floor_peer),
                total / median(floor_peer));
    fs::remove_all(root);
    return total < 1000.0 ? 0 : 1;
}
