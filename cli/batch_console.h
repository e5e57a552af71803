#pragma once
// The command line's side of batch conversions: catalogue texts for the
// message boxes, a progress bar on a terminal, Ctrl+C as Cancel, and running
// one conversion per file, several files at once in worker processes (each
// with its own decoder and frame reader state).
#include <functional>
#include <string>
#include <vector>

#include "shell/progress.h"
#include "voicefile/scratch_output.h"

namespace murrel {

// Reads the main window's message texts from the INI file beside the program
// (or the per-user copy), and gives every message a conversion may show an
// English text when the catalogue has none.
void load_console_texts();

enum class FileOutcome { Done, Failed, Cancelled };

struct BatchOptions {
    std::string out_dir;     // "" = beside each source
    bool overwrite = false;
    bool quiet = false;
    int jobs = 0;            // worker processes; 0 = one per core
};

// Parses "[-o DIR] [--overwrite] [--quiet] [-j N]" and the file names ("-o -"
// and "-" are left for StandardStreams).
// `extra` may consume an option the command adds (returning the number of
// arguments it took, 0 when it does not know it). Prints an error and returns
// false on a bad command line.
bool parse_batch_args(const std::vector<std::string>& args, BatchOptions& options,
                      std::vector<std::string>& files,
                      const std::function<int(const std::vector<std::string>&, std::size_t)>& extra);

// Where the output for `source` goes: the output folder (or the source's
// folder) and make_autofilename(name, kind).
std::string batch_target(const std::string& source, const std::string& out_dir, int kind);

// Keeps the first of several sources that would write the same target and
// reports each later one on standard error ("<verb>s to …"); `clash` is set when
// any was dropped.
std::vector<std::string> drop_clashing_targets(const std::vector<std::string>& files, const std::string& out_dir,
                                               int kind, const char* verb, bool& clash);

// Why `path` cannot be an input ("No such file or directory", "is a
// directory", "cannot be read (…)"); "" when it can.
std::string input_problem(const std::string& path);

// Runs `convert` for every file, up to options.jobs at a time in worker
// processes (in this process when one job or one file), showing a progress
// bar on standard error when it is a terminal and not quiet. Ctrl+C cancels
// the conversions running and starts no more; SIGTERM and SIGHUP do the same.
// A file that is missing, a directory or unreadable is reported and counts as
// failed without being converted.
// Returns the exit status: 0 when every file was converted, 128 + the signal
// when interrupted (130 for Ctrl+C), 1 otherwise.
int run_batch(const std::vector<std::string>& files, const BatchOptions& options, const char* verb,
              const std::function<FileOutcome(const std::string&, ConversionProgress&)>& convert);

// Name of the file being converted, put before every message the conversion
// shows on the console ("" for none). run_batch sets it.
void set_batch_file(const std::string& file);

// Prints one line of the command's report on standard output, clearing the
// progress bar's line first when one is shown.
void batch_note(const std::string& line);

// False, after an error naming the target, when `output` could not be prepared.
bool output_ready(const OutputTarget& output);

// Ends a conversion of `source` into `output` and says how, once: a complete
// file becomes the target (Done, "SOURCE -> TARGET" unless quiet); an
// unfinished one is dropped when it would have replaced a file, kept
// otherwise, and the note (or, after a failure, the error line) says which.
FileOutcome settle_output(OutputTarget& output, bool complete, const std::string& source, bool quiet);

// True once Ctrl+C (SIGINT), SIGTERM or SIGHUP arrived during run_batch.
bool batch_interrupted();

}  // namespace murrel
