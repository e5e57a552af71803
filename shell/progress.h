#pragma once
// What a long operation reports while it runs. The progress dialog, the
// command-line tool and tests implement it; every method has a do-nothing
// default so an implementation shows only what it cares about. Cancelling is
// not asked here: operations poll app().convert_cancel.
#include <string>

namespace murrel {

class ConversionProgress {
public:
    virtual ~ConversionProgress() = default;
    virtual void set_directory(const std::string&) {}   // label_directory
    virtual void set_filename(const std::string&) {}    // label_filename
    virtual void set_target(const std::string&) {}      // label_targetfilename
    virtual void set_current(int /*percent*/) {}        // ProgressBar_current, 0-100
    virtual void set_total(int /*percent*/) {}          // ProgressBar_total, 0-100
    virtual void set_filecount(const std::string&) {}   // label_filecount
    virtual void set_filebyte(const std::string&) {}    // label_filebyte
    virtual void set_caption(const std::string&) {}     // the dialog's window caption
    // Lets pending window events run between blocks, so Cancel can be pressed.
    virtual void process_events() {}
};

// For callers that show nothing.
ConversionProgress& no_progress();

}  // namespace murrel
