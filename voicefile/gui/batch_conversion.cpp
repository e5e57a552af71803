#include "voicefile/gui/batch_conversion.h"

#include <QLineEdit>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "audio/formats/mmwave.h"
#include "audio/formats/mmwave_errors.h"
#include "shell/appstate.h"
#include "shell/dialogs.h"
#include "voicefile/compress.h"
#include "voicefile/decompress.h"
#include "voicefile/gui/form_convdialog.h"
#include "voicefile/gui/form_progress.h"
#include "voicefile/lamecoder.h"
#include "voicefile/naming.h"
#include "voicefile/scratch_output.h"
#include "voicefile/stream_lease.h"
#include "voicefile/wavetowave.h"
#include "ui/flat_boxes.h"

namespace murrel {

namespace {
bool file_exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

int64_t file_size(const std::string& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    return ec ? 0 : static_cast<int64_t>(size);
}

void remove_file(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
}

int mode_rate(int codec_type) { return codec_type == 7 ? 22050 : 16000; }

// What a conversion reports, as the batch shows it: always the file the user
// picked (never the scratch copy a conversion may read, "memo.wav.tmp"), and
// the overall bar moving with the current file's share of the batch, so that
// "1 of 1 file(s)" does not sit at an empty bar until the dialog closes.
class FileShareProgress final : public ConversionProgress {
public:
    FileShareProgress(ConversionProgress& shown, std::string file_name, const BatchShare& share, int phases)
        : shown_(shown), file_name_(std::move(file_name)), share_(share), phases_(std::max(phases, 1)) {}

    // The next of the file's conversions (a WAV file may first be resampled).
    void next_phase() { phase_ = std::min(phase_ + 1, phases_ - 1); }
    // The target shown for every phase: the file the user will get.
    void show_target(std::string target) { target_ = std::move(target); }

    void set_directory(const std::string& text) override { shown_.set_directory(text); }
    void set_filename(const std::string&) override { shown_.set_filename(file_name_); }
    void set_target(const std::string& text) override { shown_.set_target(target_.empty() ? text : ">> " + target_); }
    void set_current(int percent) override {
        shown_.set_current(percent);
        if (share_.total <= 0) return;
        const double file_part = (phase_ + std::clamp(percent, 0, 100) / 100.0) / phases_;
        const double overall =
            (static_cast<double>(share_.done) + file_part * static_cast<double>(share_.size)) /
            static_cast<double>(share_.total);
        shown_.set_total(std::clamp(static_cast<int>(overall * 100.0), 0, 100));
    }
    void set_total(int percent) override { shown_.set_total(percent); }
    void set_filecount(const std::string& text) override { shown_.set_filecount(text); }
    void set_filebyte(const std::string& text) override { shown_.set_filebyte(text); }
    void set_caption(const std::string& text) override { shown_.set_caption(text); }
    void process_events() override { shown_.process_events(); }

private:
    ConversionProgress& shown_;
    std::string file_name_;
    std::string target_;
    BatchShare share_;
    int phases_;
    int phase_ = 0;
};
}  // namespace

std::string format_number(double value, const QLocale& locale) {
    return locale.toString(value, 'f', 2).toStdString();
}

BatchOperations default_batch_operations(TLameCoder& coder) {
    BatchOperations ops;
    ops.fileinfo = [](const std::string& path, Tkoltfile_info& info) { return get_fileinfo(path, info); };
    ops.decompress = [](const std::string& source, const std::string& target, const std::string& write_to,
                        const Tkoltfile_info& info, TMMWave& scratch, ConversionProgress& progress) {
        return file_decompress_leased(source, target, info, scratch, progress, write_to);
    };
    ops.compress = [&coder](TMMWave& source, const std::string& target, const std::string& write_to, int codec_type,
                            ConversionProgress& progress) {
        return file_compress(source, write_to, codec_type, coder, progress, target);
    };
    ops.wavetowave = [](const std::string& source, const std::string& target, int channels, int bits, int rate,
                        ConversionProgress& progress) {
        TMMWave scratch;
        try {
            return convert_wavetowave(source, target, channels, bits, static_cast<uint32_t>(rate), scratch, progress);
        } catch (const std::exception&) {
            return false;  // reported as a WAV file that cannot be converted
        }
    };
    return ops;
}

namespace {
// The engine's encoder for the default operations; one per process is enough,
// as conversions never overlap.
TLameCoder& batch_coder() {
    static TLameCoder coder;
    return coder;
}
}  // namespace

TBatchConversion::TBatchConversion(TForm_convdialog& dialog, TForm_progress& progress, BatchSelection& selection)
    : ops(default_batch_operations(batch_coder())), dialog_(dialog), progress_(progress), selection_(selection) {
    run_dialog = [](TForm_convdialog& d) { d.exec(); };
}

TBatchConversion::~TBatchConversion() = default;

void TBatchConversion::button_convertClick() {
    if (recording && recording()) return;
    int wav_count = 0, remaining = 0;
    for (int row = 0; row < selection_.count(); ++row) {
        if (!selection_.selected(row)) continue;
        const std::string ext = upper_extension(selection_.name(row));
        if (ext != ".WAV" && ext != ".VKD") {
            selection_.deselect(row);
            continue;
        }
        ++remaining;
        if (ext == ".WAV") ++wav_count;
    }
    if (remaining == 0) return;
    if (stop_playback) stop_playback();
    dialog_.set_mode_enabled(wav_count > 0);
    dialog_.edit_outdirectory->setText(QString::fromStdString(selection_.folder()));
    dialog_.result_flag = false;
    run_dialog(dialog_);
    if (dialog_.result_flag) convert_start();
}

void TBatchConversion::free_scratch() {
    if (scratch_) {
        try {
            scratch_->FreeWave();
        } catch (const std::exception&) {
            // A scratch wave that cannot be finalised was only read: nothing is lost.
        }
    }
    scratch_.reset();
}

void TBatchConversion::show_totals(int64_t done, int64_t total) {
    // A run whose total is 0 (only empty or unreadable files) shows a full bar.
    const int percent = total > 0 ? static_cast<int>(static_cast<double>(done) / static_cast<double>(total) * 100.0)
                                  : 100;
    progress_.set_total(std::min(percent, 100));
    progress_.set_filebyte("Total  " + format_number(static_cast<double>(done) / 1024.0, locale) + " / " +
                           format_number(static_cast<double>(total) / 1024.0, locale) + " Kbyte(s)");
}

void TBatchConversion::convert_start() {
    converted = 0;
    const std::string source_folder = AddSlash(selection_.folder());
    const std::string out_folder = AddSlash(dialog_.edit_outdirectory->text().toStdString());

    // Size pass: what each selected file counts for in the totals.
    std::vector<int> rows;
    for (int row = 0; row < selection_.count(); ++row)
        if (selection_.selected(row)) rows.push_back(row);
    std::vector<int64_t> sizes(rows.size(), 0);
    int64_t total = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        const std::string name = selection_.name(rows[i]);
        const std::string path = source_folder + name;
        if (!file_exists(path)) continue;
        const std::string ext = upper_extension(name);
        if (ext == ".WAV") {
            try {
                TMMWave wave;
                wave.SetFileName(path);
                wave.OpenFile();
                sizes[i] = wave.LengthInBytes();
                total += sizes[i];
            } catch (const std::exception&) {
                sizes[i] = file_size(path);  // counts in done, not in total
            }
        } else if (ext == ".VKD") {
            sizes[i] = file_size(path);
            total += sizes[i];
        }
    }

    progress_.set_caption(app().message("FM_caption_title0"));
    progress_.set_current(0);
    progress_.set_total(0);
    progress_.show();
    app().convert_cancel = false;

    int64_t done = 0;
    bool ended = false;
    for (size_t i = 0; i < rows.size() && !ended; ++i) {
        const std::string name = selection_.name(rows[i]);
        progress_.set_filecount(std::to_string(i + 1) + " of " + std::to_string(rows.size()) + " file(s)");
        progress_.set_filebyte(format_number(static_cast<double>(total) / 1024.0, locale) + " Kbyte(s)");
        progress_.set_directory(source_folder);
        progress_.set_filename(name);
        progress_.set_current(0);

        Tkoltfile_info info;
        const int kind = ops.fileinfo(source_folder + name, info);
        Step step = Step::Next;
        share_ = {done, sizes[i], total};
        if (kind == kFileWav) {
            step = encode(source_folder, out_folder, name, sizes[i], done, total);
        } else if (kind == kFileVoice) {
            step = decode(source_folder, out_folder, name, info);
        } else {
            show_error(app().message("FM_text_system_errmsg7"));
        }
        if (step == Step::EndBatch) break;
        if (step == Step::NextQuietly) continue;
        done += sizes[i];
        show_totals(done, total);
        if (app().convert_cancel) break;
        progress_.process_events();
    }

    free_scratch();
    selection_.refresh();
    dialog_.checkbox_overwrite->setChecked(false);
    progress_.center_on_desktop();
    progress_.close();
}

TBatchConversion::Step TBatchConversion::decode(const std::string& source_folder, const std::string& out_folder,
                                                const std::string& name, const Tkoltfile_info& info) {
    const std::string target = make_autofilename(name, 1);
    const std::string target_path = out_folder + target;
    progress_.set_target(target);
    if (file_exists(target_path) && !dialog_.checkbox_overwrite->isChecked()) {
        show_warning("[" + target + "] " + app().message("FM_text_system_errmsg10"));
        return Step::Next;
    }
    // A file being replaced stays as it was until the new one is complete.
    OutputTarget output(target_path);
    if (!scratch_) scratch_ = std::make_unique<TMMWave>();
    FileShareProgress shown(progress_, name, share_, 1);
    try {
        if (output.ready() &&
            ops.decompress(source_folder + name, target_path, output.write_path(), info, *scratch_, shown) &&
            output.commit())
            ++converted;
    } catch (const std::exception& e) {
        // The WAV file cannot be created or written: say so and end the batch
        // with the dialog closed, rather than leaving the program disabled.
        output.abandon();
        show_error(e.what());
        return Step::EndBatch;
    }
    return Step::Next;
}

TBatchConversion::Step TBatchConversion::encode(const std::string& source_folder, const std::string& out_folder,
                                                const std::string& name, int64_t size_entry, int64_t& done,
                                                int64_t total) {
    const std::string source = source_folder + name;
    std::string temporary;
    const int codec_type = dialog_.codec_type();
    const int rate = mode_rate(codec_type);
    bool made_temporary = false;  // only our own copy is ever deleted

    free_scratch();
    scratch_ = std::make_unique<TMMWave>();
    try {
        scratch_->SetFileName(source);
        scratch_->OpenFile();
    } catch (const std::exception&) {
        show_error(app().message("FM_text_system_errmsg6"));
        free_scratch();
        done += size_entry;
        return Step::NextQuietly;
    }

    const std::string target = make_autofilename(name, 2);
    const bool resample =
        scratch_->Channels() != 1 || scratch_->BitLength() != 16 || static_cast<int>(scratch_->SampleRate()) != rate;
    FileShareProgress shown(progress_, name, share_, resample ? 2 : 1);
    shown.show_target(target);
    if (resample) {
        free_scratch();
        // A fresh scratch name in the output folder: never a file of the
        // user's, and the source's folder may be read-only.
        temporary = reserve_scratch_file(out_folder, name);
        shown.set_target(target);
        made_temporary = !temporary.empty();
        const bool ok = made_temporary && ops.wavetowave && ops.wavetowave(source, temporary, 1, 16, rate, shown);
        if (!ok) {
            if (made_temporary) remove_file(temporary);
            // Cancelled: the remaining files would each be cut short at once,
            // so the batch ends here.
            if (app().convert_cancel) return Step::EndBatch;
            show_error(app().message("FM_text_system_errmsg6"));
            done += size_entry;
            show_totals(done, total);
            progress_.process_events();
            return Step::NextQuietly;
        }
        if (app().convert_cancel) {
            remove_file(temporary);
            return Step::EndBatch;
        }
        scratch_ = std::make_unique<TMMWave>();
        try {
            scratch_->SetFileName(temporary);
            scratch_->OpenFile();
        } catch (const std::exception&) {
            show_error(app().message("FM_text_system_errmsg6"));
            free_scratch();
            remove_file(temporary);
            done += size_entry;
            return Step::NextQuietly;
        }
    }

    const std::string target_path = out_folder + target;
    shown.next_phase();
    progress_.set_target(target);
    bool write = true;
    if (file_exists(target_path) && !dialog_.checkbox_overwrite->isChecked()) {
        show_warning("[" + target + "]" + app().message("FM_text_system_errmsg10"));
        write = false;
    }
    if (write) {
        // A voice file being replaced stays as it was until the new one is complete.
        OutputTarget output(target_path);
        if (output.ready() && ops.compress(*scratch_, target_path, output.write_path(), codec_type, shown) &&
            output.commit())
            ++converted;
    }
    free_scratch();
    if (made_temporary) remove_file(temporary);
    return Step::Next;
}

}  // namespace murrel
