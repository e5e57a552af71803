#pragma once
// "-" as the file and "-o -" as the output of a batch command: standard input
// is first copied into a private scratch folder and converted from there, and
// the output is written there too and copied to standard output only once it
// is complete (a WAV file's header then holds its real sizes, so a pipe gets a
// file every reader takes).
#include <string>
#include <vector>

#include "cli/batch_console.h"

namespace murrel {

class StandardStreams {
public:
    StandardStreams() = default;
    ~StandardStreams();
    StandardStreams(const StandardStreams&) = delete;
    StandardStreams& operator=(const StandardStreams&) = delete;

    // Rewrites "-" in `files` and "-o -" in `options`; `input_name` names the
    // copy of standard input ("stdin.vkd"). False after an error message.
    bool prepare(std::vector<std::string>& files, BatchOptions& options, const std::string& input_name);
    // After the run: a successful one sends its output (the target of the one
    // file, `kind` as for batch_target) to standard output. Returns the status.
    int finish(int status, const std::vector<std::string>& files, int kind);

private:
    bool make_folder();
    std::string folder_;
    bool to_stdout_ = false;
};

}  // namespace murrel
