#pragma once
// TMMEditSession: the Voice Editor's edit engine, with no widgets. It holds
// the document (its wave, marker list, cut list and gain envelope), the
// editor-wide clipboard, the undo and redo stacks and the temporary files the
// edits made, and performs every edit on them. The window (and the command
// line) give it the lower pane's selection, the locator and the screen width,
// and reload their panes when OnDocumentLoaded fires.
//
// Every audio change renders a new temporary WAV file that becomes the
// document; the previous one stays on disk for undo. Marker and envelope
// edits change lists only. Progress goes to the installed ConversionProgress,
// cancel is app().convert_cancel, questions and error boxes go through the
// dialog service.
//
// Units: sample frames of the document. Threads: the user-interface thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/formats/mmwave_cutlist.h"
#include "editor/mmenhancedwave.h"
#include "editor/mmenvelope.h"
#include "editor/mmmarkerlist.h"
#include "shell/progress.h"

namespace murrel {

// The value of a document at one moment: what a document undo record keeps.
struct EditDocumentState {
    std::string file;
    int64_t start = 0, end = 0, position = 0;
    std::vector<TMMMarker> markers;
    std::vector<TMMCutRecord> cuts;
    std::vector<TMMEnvelopePoint> envelope;
};

enum class EditUndoKind { Markers, Envelope, Document };

struct EditUndoRecord {
    EditUndoKind kind = EditUndoKind::Markers;
    std::vector<TMMMarker> markers;           // Markers
    std::vector<TMMEnvelopePoint> envelope;   // Envelope
    EditDocumentState document;               // Document
    bool modified = false;                    // `modified` when the record was made
};

class TMMEditSession {
public:
    static constexpr size_t kMaxUndo = 50;
    static constexpr int64_t kPasteChunk = 32768;
    static constexpr int64_t kSpareBytes = 100000;
    static constexpr double kVolumeUp = 1.12246203;
    static constexpr double kVolumeDown = 0.89089870;
    static constexpr const char* kClipName = "clip.tmp";
    static constexpr const char* kClipRegionName = "clipcut.tmp";
    static constexpr const char* kWaveFilter = "Wave-Files(*.wav)";

    // Attaches the clipboard to "clip.tmp" in `temp_dir` (created when
    // missing), restoring its markers from "clipcut.tmp" when that exists.
    explicit TMMEditSession(std::string temp_dir);
    // Deletes the temporary files of the edits, the document's current one
    // too; the clipboard's files stay for the next session.
    ~TMMEditSession();
    TMMEditSession(const TMMEditSession&) = delete;
    TMMEditSession& operator=(const TMMEditSession&) = delete;

    // --- inputs --------------------------------------------------------------
    void SetSelection(int64_t sel_start, int64_t sel_end) { sel_start_ = sel_start, sel_end_ = sel_end; }
    void SetLocator(int64_t frame) { locator_ = frame; }
    // Results shorter than this many frames are refused (at least 1).
    void SetScreenWidth(int64_t pixels) { screen_width_ = pixels; }
    void SetProgress(ConversionProgress* progress) { progress_ = progress ? progress : &no_progress(); }
    // The upper pane's file: never a target of save selected.
    void SetReferenceName(const std::string& path) { reference_name_ = path; }
    // Whether edit results get their display data built (a caller without
    // views has no use for it).
    bool BuildsDisplayData = true;
    // Free bytes on the volume of a folder, -1 unknown; tests replace it.
    std::function<int64_t(const std::string& folder)> FreeSpace;

    // --- outputs --------------------------------------------------------------
    std::function<void()> OnStopPlayback;    // before any audio change
    std::function<void()> OnDocumentLoaded;  // the panes must reload the document
    int64_t SelStart() const { return sel_start_; }
    int64_t SelEnd() const { return sel_end_; }
    int64_t Locator() const { return locator_; }

    // --- state ------------------------------------------------------------------
    TMMEnhancedWave& Document() { return document_; }
    TMMMarkerList& DocumentMarkers() { return document_markers_; }
    TMMCutList& DocumentCuts() { return document_cuts_; }
    TMMEnvelope& Envelope() { return envelope_; }
    TMMEnhancedWave& Clipboard() { return clipboard_; }
    TMMMarkerList& ClipboardMarkers() { return clipboard_markers_; }
    const std::string& DocumentName() const { return document_name_; }
    const std::string& TempDir() const { return temp_dir_; }
    const std::vector<std::string>& TempFiles() const { return temp_files_; }
    bool Modified() const { return modified_; }
    bool Cancelled() const { return cancelled_; }
    size_t UndoCount() const { return undo_stack_.size(); }
    size_t RedoCount() const { return redo_stack_.size(); }
    bool DocumentEmpty();
    bool ClipboardEmpty();
    // Preconditions the window turns into enabled states.
    bool CanCopy() const { return sel_start_ >= 0 && sel_end_ >= 0; }
    bool CanCut();
    bool CanPaste();

    // --- documents --------------------------------------------------------------
    // Opens a WAV file as the document with no markers, no cuts and a flat
    // envelope; the undo history is cleared. False (error box) when it cannot
    // be read.
    bool OpenDocument(const std::string& path);
    void CloseDocument();

    // --- operations -------------------------------------------------------------
    // Copies the selection of `pane` (the document, or the reference with its
    // markers) into the clipboard.
    bool CopyToClipboard();
    bool CopyToClipboard(TMMEnhancedWave& pane, const TMMMarkerList* markers);
    bool CutSelection();
    bool TrimToSelection();
    bool PasteClipboard();
    bool InsertBlank();
    void ScaleVolume(double factor);
    void ResetVolume();
    bool AddMarker(int64_t position);
    void DeleteMarker(int64_t index);
    void DeleteAllMarkers();
    // Asks for a path through the dialog service; true when confirmed.
    bool SaveDocumentAs();
    // Saves without asking; true when saved.
    bool SaveDocumentTo(const std::string& path);
    bool SaveSelection();
    bool Undo();
    bool Redo();
    void ClearUndo();
    // An envelope point the user is about to change in the envelope view.
    void RecordEnvelopeEdit();

    // Drags in the lower pane group their changes into one undo record.
    void BeginMarkerDrag();
    void BeginEnvelopeDrag();
    void EndDrag();           // pushes the pending record
    void EndSelectionDrag();  // discards it

    // The window changed the document outside these operations (its play
    // range, dragged during playback).
    void MarkModified() {
        if (!undo_suppressed_) modified_ = true;
    }

    // Makes a copy of `path` the clipboard, with no markers.
    bool SetClipboardFile(const std::string& path);

    // Program end: the clipboard's audio and region file go as well.
    void DeleteClipboardFiles();
    // The window closes: only the clipboard's region file goes.
    void DeleteClipboardRegion();

private:
    void AttachClipboard();
    // Makes `file` the clipboard's audio (moved or copied to "clip.tmp").
    void ReplaceClipboard(const std::string& file, bool move);
    // The common frame of an audio change: playback stopped, cancel reset;
    // `body` names its temporary output, which goes again unless it returns
    // true. Failures other than a cancel show `failure_key`.
    bool RunEdit(const char* failure_key, const std::function<bool(std::string& output)>& body);
    void WriteClipboardRegion();
    std::string ReserveTempName();
    void DropTempFile(const std::string& path);
    void DeleteWithDisplayData(const std::string& path);
    bool FileInUse(const std::string& path) const;
    // Renders `wave` into `path` with the operation's caption.
    void Render(TMMEnhancedWave& wave, const std::string& path, const char* caption);
    // Builds the display data of `path`; false when cancelled.
    bool BuildDisplay(const std::string& path);
    void PrepareWorking(TMMEnhancedWave& working, TMMEnhancedWave& from);
    EditDocumentState CaptureDocument();
    void LoadState(const EditDocumentState& state);
    void PushUndo(EditUndoRecord record);
    // Loads `next` as the document and records `before` for undo.
    void Commit(const EditDocumentState& before, const EditDocumentState& next);
    EditUndoRecord Snapshot(EditUndoKind kind);
    void Restore(const EditUndoRecord& record);
    bool Step(std::vector<EditUndoRecord>& from, std::vector<EditUndoRecord>& to);
    void ClearRedo();
    bool DeleteSelection();
    bool PasteAt(int64_t p);
    void CopyPasteStream(const std::string& path, int64_t p, TMMEnhancedWave& clip);
    bool Refuse(int64_t frames);
    void ShowError(const char* key, bool warning = false);
    void StopPlayback();

    std::string temp_dir_;
    TMMEnhancedWave document_;
    TMMMarkerList document_markers_;
    TMMCutList document_cuts_;
    TMMEnvelope envelope_;
    int envelope_observer_ = 0;
    TMMEnhancedWave clipboard_;
    TMMMarkerList clipboard_markers_;
    std::string document_name_;
    std::string reference_name_;
    std::vector<std::string> temp_files_;
    std::vector<EditUndoRecord> undo_stack_;
    std::vector<EditUndoRecord> redo_stack_;
    std::unique_ptr<EditUndoRecord> pending_undo_;
    bool undo_suppressed_ = false;
    bool modified_ = false;
    bool cancelled_ = false;
    int64_t sel_start_ = -1, sel_end_ = -1, locator_ = 0, screen_width_ = 1;
    ConversionProgress* progress_ = &no_progress();
};

}  // namespace murrel
