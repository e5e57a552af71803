#pragma once
// The conversion command on the file list's selection: voice files become WAV
// files, WAV files voice files in the mode chosen in the conversion dialog.
// Everything runs on the user-interface thread; the progress dialog's Cancel is
// seen between blocks of the conversions and between files.
#include <QLocale>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "shell/progress.h"
#include "voicefile/fileinfo.h"

namespace murrel {

class TForm_convdialog;
class TForm_progress;
class TLameCoder;
class TMMWave;

// The file list as the batch sees it: its entries in order, their selection
// and its folder.
class BatchSelection {
public:
    virtual ~BatchSelection() = default;
    virtual std::string folder() const = 0;  // the listed folder
    virtual int count() const = 0;
    virtual std::string name(int row) const = 0;
    virtual bool selected(int row) const = 0;
    virtual void deselect(int row) = 0;
    virtual void refresh() = 0;
};

// The conversions the batch runs; by default the voice-file engine's. A test
// can replace one to act out a failure.
struct BatchOperations {
    std::function<int(const std::string& path, Tkoltfile_info& info)> fileinfo;
    // Voice file to WAV. The bytes go to `write_to`, which is `target` or the
    // scratch file that replaces an existing target once complete. Raises the
    // wave engine's error when the WAV file cannot be created or written.
    std::function<bool(const std::string& source, const std::string& target, const std::string& write_to,
                       const Tkoltfile_info& info, TMMWave& scratch, ConversionProgress& progress)>
        decompress;
    // The WAV file open in `source` (16-bit mono at the mode's rate) to a voice
    // file named `target`, written to `write_to` as above.
    std::function<bool(TMMWave& source, const std::string& target, const std::string& write_to, int codec_type,
                       ConversionProgress& progress)>
        compress;
    // Any WAV file to 16-bit PCM of `channels` and `rate` in `target`.
    std::function<bool(const std::string& source, const std::string& target, int channels, int bits, int rate,
                       ConversionProgress& progress)>
        wavetowave;
};

BatchOperations default_batch_operations(TLameCoder& coder);

// The current file's place in the batch's totals (bytes, as the totals count).
struct BatchShare {
    int64_t done = 0;   // of the files before it
    int64_t size = 0;   // its own
    int64_t total = 0;  // of the whole batch
};

// "%n": two decimals with the locale's group and decimal separators.
std::string format_number(double value, const QLocale& locale);

class TBatchConversion {
public:
    TBatchConversion(TForm_convdialog& dialog, TForm_progress& progress, BatchSelection& selection);
    ~TBatchConversion();

    BatchOperations ops;
    std::function<bool()> recording;        // no conversion while recording
    std::function<void()> stop_playback;    // the stop button
    // Shows the conversion dialog modally; default exec(). Tests answer here.
    std::function<void(TForm_convdialog&)> run_dialog;
    QLocale locale;

    // The command: filters the selection, asks in the dialog, runs the batch.
    void button_convertClick();
    // The batch itself, after the dialog was confirmed.
    void convert_start();

    // Counts of the last run (for the caller and tests).
    int converted = 0;

private:
    enum class Step { Next, NextQuietly, EndBatch };
    Step decode(const std::string& source_folder, const std::string& out_folder, const std::string& name,
                const Tkoltfile_info& info);
    Step encode(const std::string& source_folder, const std::string& out_folder, const std::string& name,
                int64_t size_entry, int64_t& done, int64_t total);
    void show_totals(int64_t done, int64_t total);
    void free_scratch();

    TForm_convdialog& dialog_;
    TForm_progress& progress_;
    BatchSelection& selection_;
    std::unique_ptr<TMMWave> scratch_;  // mmwavtestfile
    BatchShare share_;                  // of the file being converted
};

}  // namespace murrel
