#include "editor/editsession.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>

#include "audio/formats/acmchain.h"
#include "editor/displayregistry.h"
#include "editor/regionfile.h"
#include "shell/appstate.h"
#include "shell/dialogs.h"

namespace murrel {

namespace fs = std::filesystem;

namespace {

std::vector<TMMMarker> MarkersOf(const TMMMarkerList& list) { return list.Items(); }

void FillMarkers(TMMMarkerList& list, const std::vector<TMMMarker>& markers) {
    list.BeginUpdate();
    list.Clear();
    for (const TMMMarker& m : markers) list.Add(m);
    list.EndUpdate();
}

void FillCuts(TMMCutList& list, const std::vector<TMMCutRecord>& cuts) {
    list.BeginUpdate();
    list.Clear();
    for (const TMMCutRecord& c : cuts) list.Add(c);
    list.EndUpdate();
}

// Where a frame of the file lands once the cuts are left out: a frame inside
// a cut goes to where the cut was.
int64_t ThroughCuts(int64_t offset, const std::vector<TMMCutRecord>& cuts) {
    int64_t removed = 0;
    for (const TMMCutRecord& c : cuts) {
        if (c.start >= offset) break;
        removed += std::min(c.length, offset - c.start);
    }
    return offset - removed;
}

}  // namespace

TMMEditSession::TMMEditSession(std::string temp_dir) : temp_dir_(std::move(temp_dir)) {
    std::error_code ec;
    fs::create_directories(temp_dir_, ec);
    document_.SetMarkerList(&document_markers_);
    document_.SetCutList(&document_cuts_);
    envelope_observer_ = envelope_.AddObserver([this](ObjectEvent e) {
        if (e != ObjectEvent::Changed) return;
        TMMFadeList& fades = document_.SourceFades();
        fades.BeginUpdate();
        fades.Clear();
        for (const TMMEnvelopePoint& p : envelope_.Points()) fades.AddPoint(p.x, p.y);
        fades.EndUpdate();
        if (!undo_suppressed_) modified_ = true;
    });
    clipboard_.SetMarkerList(&clipboard_markers_);
    AttachClipboard();
}

TMMEditSession::~TMMEditSession() {
    envelope_.RemoveObserver(envelope_observer_);
    undo_stack_.clear();
    redo_stack_.clear();
    // Nothing refers to an edit result once the session is gone, the
    // document's own included (the window asks to save before it closes).
    if (document_.Opened()) document_.CloseFile();
    document_.FreeWave();
    for (const std::string& f : temp_files_) DeleteWithDisplayData(f);
}

// ---------------------------------------------------------------------------
// The clipboard

void TMMEditSession::AttachClipboard() {
    const std::string clip = temp_dir_ + "/" + kClipName;
    const std::string region = temp_dir_ + "/" + kClipRegionName;
    clipboard_.FileMustExist = false;
    clipboard_.SetNoFades(true);
    bool ok = true;
    try {
        if (fs::exists(region)) ok = ReadRegionFile(clipboard_, region) && clipboard_.FileName() == clip;
        if (ok) clipboard_.SetFileName(clip);
    } catch (const std::exception&) {
        ok = false;
    }
    if (ok) return;
    clipboard_.FreeWave();
    clipboard_markers_.Clear();
    ::unlink(clip.c_str());
    ::unlink(region.c_str());
    clipboard_.FileMustExist = false;
    clipboard_.SetFileName(clip);
}

void TMMEditSession::WriteClipboardRegion() {
    WriteRegionFile(clipboard_, temp_dir_ + "/" + kClipRegionName);
}

void TMMEditSession::ReplaceClipboard(const std::string& file, bool move) {
    const std::string clip = temp_dir_ + "/" + kClipName;
    clipboard_.FreeWave();
    ::unlink(clip.c_str());
    std::error_code ec;
    if (move) {
        fs::rename(file, clip, ec);
    } else {
        fs::copy_file(file, clip, fs::copy_options::overwrite_existing, ec);
    }
    if (ec) {
        clipboard_.FileMustExist = false;
        clipboard_.SetFileName(clip);
        throw EMMWaveError(WaveError::SaveError);
    }
    clipboard_.FileMustExist = false;
    clipboard_.SetFileName(clip);
}

bool TMMEditSession::SetClipboardFile(const std::string& path) {
    cancelled_ = false;
    try {
        TMMAcmWave probe;
        probe.SetFileName(path);
        if (!UnreadableReason(*probe.FileFormat()).empty()) throw EMMWaveError(WaveError::InvalidFile);
        probe.FreeWave();
        ReplaceClipboard(path, false);
        clipboard_markers_.Clear();
        WriteClipboardRegion();
        return true;
    } catch (const std::exception&) {
        ShowError("FE_wav_msg16");
        return false;
    }
}

void TMMEditSession::DeleteClipboardRegion() { ::unlink((temp_dir_ + "/" + kClipRegionName).c_str()); }

void TMMEditSession::DeleteClipboardFiles() {
    clipboard_.FreeWave();
    DeleteWithDisplayData(temp_dir_ + "/" + kClipName);
    DeleteClipboardRegion();
}

bool TMMEditSession::ClipboardEmpty() {
    try {
        return clipboard_.FileFormat() == nullptr || clipboard_.IsEmpty() || clipboard_.LengthInSamples() <= 0;
    } catch (const std::exception&) {
        return true;
    }
}

bool TMMEditSession::DocumentEmpty() {
    return document_.FileFormat() == nullptr || document_.IsEmpty();
}

bool TMMEditSession::CanCut() {
    return CanCopy() && !(sel_start_ <= 0 && sel_end_ >= document_.DataSize());
}

bool TMMEditSession::CanPaste() { return !DocumentEmpty() && !ClipboardEmpty(); }

// ---------------------------------------------------------------------------
// Temporary files

bool TMMEditSession::FileInUse(const std::string& path) const {
    if (path == document_.FileName() || path == clipboard_.FileName()) return true;
    for (const auto* stack : {&undo_stack_, &redo_stack_})
        for (const EditUndoRecord& r : *stack)
            if (r.kind == EditUndoKind::Document && r.document.file == path) return true;
    return std::find(temp_files_.begin(), temp_files_.end(), path) != temp_files_.end();
}

// Names are "w" and a number 1..256 in hex as the platform draws them, but a
// name is taken only by creating its file exclusively: a file still in use
// (the document's, the clipboard's, one kept for undo) or anybody else's is
// never deleted or reused. When all 256 exist, longer random names follow.
std::string TMMEditSession::ReserveTempName() {
    std::random_device rd;
    std::mt19937 gen(rd());
    const int first = std::uniform_int_distribution<int>(1, 256)(gen);
    auto try_name = [&](const char* name) -> std::string {
        const std::string path = temp_dir_ + "/" + name;
        if (FileInUse(path)) return {};
        const int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0644);
        if (fd < 0) return {};
        ::close(fd);
        return path;
    };
    char name[40];
    for (int k = 0; k < 256; ++k) {
        std::snprintf(name, sizeof name, "w%X.tmp", (first - 1 + k) % 256 + 1);
        if (std::string p = try_name(name); !p.empty()) return p;
    }
    for (int k = 0; k < 1000; ++k) {
        std::snprintf(name, sizeof name, "w%08X.tmp", unsigned(gen()));
        if (std::string p = try_name(name); !p.empty()) return p;
    }
    throw EMMWaveError(WaveError::CreateError);
}

void TMMEditSession::DeleteWithDisplayData(const std::string& path) {
    if (path.empty()) return;
    TMMDisplayRegistry& registry = TMMDisplayRegistry::Instance();
    try {
        TMMAcmWave w;
        w.SetFileName(path);
        const std::string key = registry.Register(w);
        w.FreeWave();
        if (!key.empty()) registry.Release(key, true);
    } catch (const std::exception&) {
    }
    ::unlink(path.c_str());
}

void TMMEditSession::DropTempFile(const std::string& path) {
    DeleteWithDisplayData(path);
    temp_files_.erase(std::remove(temp_files_.begin(), temp_files_.end(), path), temp_files_.end());
}

// ---------------------------------------------------------------------------
// Rendering

void TMMEditSession::PrepareWorking(TMMEnhancedWave& working, TMMEnhancedWave& from) {
    working.Assign(from);
    working.SourceFades().Assign(from.SourceFades());
    working.SetPosition(0);
}

void TMMEditSession::Render(TMMEnhancedWave& wave, const std::string& path, const char* caption) {
    progress_->set_caption(app().message(caption));
    progress_->set_current(0);
    progress_->process_events();
    wave.OnProgress = [this](TMMWave&, int64_t done, int64_t total, bool& cancel) {
        progress_->set_current(total > 0 ? int(done * 100 / total) : 100);
        progress_->process_events();
        cancel = app().convert_cancel;
    };
    if (FreeSpace) wave.FreeSpace = FreeSpace;
    wave.SaveToFile(path);
    wave.OnProgress = nullptr;
}

bool TMMEditSession::BuildDisplay(const std::string& path) {
    if (!BuildsDisplayData) return !app().convert_cancel;
    progress_->set_caption(app().message("FE_wav_msg1"));
    progress_->set_current(0);
    TMMDisplayRegistry& registry = TMMDisplayRegistry::Instance();
    TMMAcmWave w;
    w.SetFileName(path);
    const std::string key = registry.Register(w);
    if (key.empty()) return true;
    const DisplayBuildResult r = registry.Build(key, w, [this](int percent, bool& cancel) {
        progress_->set_current(percent);
        progress_->process_events();
        cancel = app().convert_cancel;
    });
    registry.Release(key, false);
    // Display data that cannot be built leaves the views blank, never the
    // edit undone; only the user's cancel stops it.
    return r != DisplayBuildResult::Cancelled && !app().convert_cancel;
}

void TMMEditSession::StopPlayback() {
    if (OnStopPlayback) OnStopPlayback();
}

void TMMEditSession::ShowError(const char* key, bool warning) {
    MessageRequest r;
    r.caption = app().app_name;
    r.text = app().message(key);
    r.icon = warning ? MessageIcon::Warning : MessageIcon::Error;
    dialogs().message_box(r);
}

bool TMMEditSession::Refuse(int64_t frames) {
    if (frames >= std::max<int64_t>(screen_width_, 1)) return false;
    ShowError("FE_wav_msg17");
    return true;
}

bool TMMEditSession::RunEdit(const char* failure_key, const std::function<bool(std::string&)>& body) {
    StopPlayback();
    app().convert_cancel = false;
    cancelled_ = false;
    std::string output;
    bool ok = false;
    try {
        ok = body(output);
        if (!ok) cancelled_ = true;
    } catch (const EMMWaveError& e) {
        cancelled_ = e.code() == WaveError::SaveAborted || app().convert_cancel;
    } catch (const std::exception&) {
        cancelled_ = app().convert_cancel;
    }
    progress_->set_caption("");
    if (ok) return true;
    if (!output.empty()) DropTempFile(output);
    if (!cancelled_ && failure_key) ShowError(failure_key);
    app().convert_cancel = false;
    return false;
}

// ---------------------------------------------------------------------------
// Documents

EditDocumentState TMMEditSession::CaptureDocument() {
    EditDocumentState s;
    s.file = document_.FileName();
    s.start = document_.StartPos();
    s.end = document_.EndPos();
    s.position = document_.Position();
    s.markers = MarkersOf(document_markers_);
    s.cuts = document_cuts_.Items();
    s.envelope = envelope_.Points();
    return s;
}

void TMMEditSession::LoadState(const EditDocumentState& state) {
    const bool was_suppressed = undo_suppressed_;
    undo_suppressed_ = true;
    struct Restore {
        bool& flag;
        bool value;
        ~Restore() { flag = value; }
    } restore{undo_suppressed_, was_suppressed};

    if (document_.Opened()) document_.CloseFile();
    // The same name may hold new audio (saved over): attach afresh.
    document_.FreeWave();
    document_.FileMustExist = true;
    document_.SetFileName(state.file);
    const int64_t frames = document_.DataSize();
    if (state.end > 0) document_.SetEndPos(state.end);
    document_.SetStartPos(state.start);
    FillMarkers(document_markers_, state.markers);
    FillCuts(document_cuts_, state.cuts);
    document_.SetCutList(&document_cuts_);
    document_.SetPosition(std::min(state.position, frames));
    envelope_.BeginUpdate();
    envelope_.SetBaseY(TMMEnhancedWave::kUnityGain);
    envelope_.SetRange(0, frames, 0, 2 * TMMEnhancedWave::kUnityGain);
    if (state.envelope.size() >= 2) {
        envelope_.SetPoints(state.envelope);
    } else {
        envelope_.SetPoints({{0, TMMEnhancedWave::kUnityGain, false},
                             {frames, TMMEnhancedWave::kUnityGain, false}});
    }
    envelope_.EndUpdate();
    if (OnDocumentLoaded) OnDocumentLoaded();
}

bool TMMEditSession::OpenDocument(const std::string& path) {
    StopPlayback();
    try {
        TMMAcmWave probe;
        probe.SetFileName(path);
        if (!UnreadableReason(*probe.FileFormat()).empty()) throw EMMWaveError(WaveError::InvalidFile);
        probe.FreeWave();
        EditDocumentState s;
        s.file = fs::absolute(path).lexically_normal().string();
        ClearUndo();
        LoadState(s);
    } catch (const std::exception&) {
        ShowError("FE_wav_msg16");
        return false;
    }
    document_name_ = document_.FileName();
    modified_ = false;
    return true;
}

void TMMEditSession::CloseDocument() {
    StopPlayback();
    ClearUndo();
    if (document_.Opened()) document_.CloseFile();
    document_.FreeWave();
    document_markers_.Clear();
    document_cuts_.Clear();
    document_name_.clear();
    modified_ = false;
    if (OnDocumentLoaded) OnDocumentLoaded();
}

// ---------------------------------------------------------------------------
// Undo and redo

EditUndoRecord TMMEditSession::Snapshot(EditUndoKind kind) {
    EditUndoRecord r;
    r.kind = kind;
    r.modified = modified_;
    switch (kind) {
        case EditUndoKind::Markers: r.markers = MarkersOf(document_markers_); break;
        case EditUndoKind::Envelope: r.envelope = envelope_.Points(); break;
        case EditUndoKind::Document: r.document = CaptureDocument(); break;
    }
    return r;
}

void TMMEditSession::PushUndo(EditUndoRecord record) {
    if (undo_suppressed_) return;
    ClearRedo();
    undo_stack_.push_back(std::move(record));
    // The files of dropped records stay listed and go when the stack is cleared.
    if (undo_stack_.size() > kMaxUndo) undo_stack_.erase(undo_stack_.begin());
}

// The files only redo could bring back go with it.
void TMMEditSession::ClearRedo() {
    std::vector<EditUndoRecord> dropped;
    dropped.swap(redo_stack_);
    for (const EditUndoRecord& r : dropped) {
        if (r.kind != EditUndoKind::Document || r.document.file == document_.FileName()) continue;
        bool kept = false;
        for (const EditUndoRecord& u : undo_stack_)
            kept = kept || (u.kind == EditUndoKind::Document && u.document.file == r.document.file);
        if (!kept && std::find(temp_files_.begin(), temp_files_.end(), r.document.file) != temp_files_.end())
            DropTempFile(r.document.file);
    }
}

void TMMEditSession::Restore(const EditUndoRecord& record) {
    const bool was_suppressed = undo_suppressed_;
    undo_suppressed_ = true;
    try {
        switch (record.kind) {
            case EditUndoKind::Markers: FillMarkers(document_markers_, record.markers); break;
            case EditUndoKind::Envelope: envelope_.SetPoints(record.envelope); break;
            case EditUndoKind::Document: LoadState(record.document); break;
        }
    } catch (...) {
        undo_suppressed_ = was_suppressed;
        throw;
    }
    undo_suppressed_ = was_suppressed;
}

// Takes the newest record of `from`, restores it and keeps the state it
// replaced on `to`, so that the step can be taken back.
bool TMMEditSession::Step(std::vector<EditUndoRecord>& from, std::vector<EditUndoRecord>& to) {
    StopPlayback();
    pending_undo_.reset();
    const bool undoing = &from == &undo_stack_;
    if (from.empty()) {
        ShowError("FE_wav_msg15", true);
        if (undoing) ClearUndo();
        return false;
    }
    EditUndoRecord record = std::move(from.back());
    from.pop_back();
    EditUndoRecord back = Snapshot(record.kind);
    try {
        Restore(record);
    } catch (const std::exception&) {
        ShowError("FE_wav_msg15", true);
        if (undoing) ClearUndo();
        else from.push_back(std::move(record));
        return false;
    }
    modified_ = record.modified;
    to.push_back(std::move(back));
    if (OnDocumentLoaded && record.kind != EditUndoKind::Document) OnDocumentLoaded();
    return true;
}

bool TMMEditSession::Undo() { return Step(undo_stack_, redo_stack_); }
bool TMMEditSession::Redo() { return Step(redo_stack_, undo_stack_); }

void TMMEditSession::ClearUndo() {
    undo_stack_.clear();
    redo_stack_.clear();
    pending_undo_.reset();
    std::vector<std::string> files;
    files.swap(temp_files_);
    for (const std::string& f : files) {
        if (f == document_.FileName()) temp_files_.push_back(f);
        else DeleteWithDisplayData(f);
    }
}

void TMMEditSession::BeginMarkerDrag() {
    pending_undo_ = std::make_unique<EditUndoRecord>(Snapshot(EditUndoKind::Markers));
}

void TMMEditSession::BeginEnvelopeDrag() {
    pending_undo_ = std::make_unique<EditUndoRecord>(Snapshot(EditUndoKind::Envelope));
}

void TMMEditSession::EndDrag() {
    if (!pending_undo_) return;
    PushUndo(std::move(*pending_undo_));
    pending_undo_.reset();
}

void TMMEditSession::EndSelectionDrag() { pending_undo_.reset(); }

// ---------------------------------------------------------------------------
// Volume and markers

void TMMEditSession::ScaleVolume(double factor) {
    StopPlayback();
    PushUndo(Snapshot(EditUndoKind::Envelope));
    envelope_.Scale(factor);
}

void TMMEditSession::ResetVolume() {
    StopPlayback();
    PushUndo(Snapshot(EditUndoKind::Envelope));
    envelope_.SetAllToBase();
}

void TMMEditSession::RecordEnvelopeEdit() { PushUndo(Snapshot(EditUndoKind::Envelope)); }

bool TMMEditSession::AddMarker(int64_t position) {
    if (document_markers_.IndexAt(position) >= 0) return false;
    PushUndo(Snapshot(EditUndoKind::Markers));
    TMMMarker m;
    m.Offset = position;
    m.Name = "Marker";
    m.ID = document_markers_.NewID();
    m.Color = TMMMarkerList::kOrphanColor;
    document_markers_.Add(m);
    modified_ = true;
    return true;
}

void TMMEditSession::DeleteMarker(int64_t index) {
    if (index < 0 || index >= document_markers_.Count()) return;
    PushUndo(Snapshot(EditUndoKind::Markers));
    const int32_t id = document_markers_[index].ID;
    const int64_t partner = document_markers_.Partner(index);
    if (partner >= 0 && partner != index) document_markers_.Delete(partner);
    for (int64_t k = 0; k < document_markers_.Count(); ++k)
        if (document_markers_[k].ID == id) {
            document_markers_.Delete(k);
            break;
        }
    modified_ = true;
}

void TMMEditSession::DeleteAllMarkers() {
    if (document_markers_.Count() == 0) return;
    PushUndo(Snapshot(EditUndoKind::Markers));
    document_markers_.Clear();
    modified_ = true;
}

// ---------------------------------------------------------------------------
// Saving

bool TMMEditSession::SaveDocumentAs() {
    StopPlayback();
    FileDialogRequest r;
    r.file_name = document_name_;
    r.filter = kWaveFilter;
    r.default_extension = "wav";
    const std::optional<std::string> path = dialogs().save_file(r);
    if (!path || path->empty()) return false;
    SaveDocumentTo(*path);
    return true;
}

bool TMMEditSession::SaveDocumentTo(const std::string& path) {
    StopPlayback();
    app().convert_cancel = false;
    cancelled_ = false;
    const std::string target = fs::absolute(path).lexically_normal().string();
    const EditDocumentState before = CaptureDocument();
    try {
        TMMEnhancedWave working;
        PrepareWorking(working, document_);
        Render(working, target, "FE_wav_msg4");
    } catch (const EMMWaveError& e) {
        cancelled_ = e.code() == WaveError::SaveAborted || app().convert_cancel;
        if (!cancelled_) ShowError("FE_wav_msg17");
        app().convert_cancel = false;
        return false;
    }
    // The saved audio has the cuts left out and the gain applied: the
    // document starts over with no cuts, a flat envelope and its markers where
    // their audio now is.
    EditDocumentState saved;
    saved.file = target;
    for (TMMMarker m : before.markers) {
        m.Offset = ThroughCuts(m.Offset, before.cuts);
        saved.markers.push_back(m);
    }
    try {
        LoadState(saved);
    } catch (const std::exception&) {
        ShowError("FE_wav_msg17");
        return false;
    }
    modified_ = false;
    ClearUndo();
    document_name_ = target;
    return true;
}

bool TMMEditSession::SaveSelection() {
    if (Refuse(sel_end_ - sel_start_)) return false;
    StopPlayback();
    FileDialogRequest r;
    r.filter = kWaveFilter;
    r.default_extension = "wav";
    const std::optional<std::string> path = dialogs().save_file(r);
    if (!path || path->empty()) return false;
    const std::string target = fs::absolute(*path).lexically_normal().string();
    // The document's own file (a temporary one after an edit) is as much in
    // use as the one it was opened from.
    if (target == document_name_ || target == document_.FileName()) {
        ShowError("FE_wav_msg8");
        return false;
    }
    if (!reference_name_.empty() && target == fs::absolute(reference_name_).lexically_normal().string()) {
        ShowError("FE_wav_msg14");
        return false;
    }
    return RunEdit("FE_wav_msg17", [&](std::string&) {
        TMMEnhancedWave working;
        PrepareWorking(working, document_);
        working.SetSkipList(nullptr);
        working.SetStartPos(0);
        working.SetEndPos(sel_end_);
        working.SetStartPos(sel_start_);
        Render(working, target, "FE_wav_msg4");
        return true;
    });
}

}  // namespace murrel
