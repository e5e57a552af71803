// The audio-changing operations of TMMEditSession: copy, cut, trim, paste
// and insert blank. Each renders a new file, builds its display data and only
// then makes it the document, so a failure or a cancel on the way leaves the
// document, its lists and the undo stack as they were.
#include <sys/statvfs.h>

#include <algorithm>
#include <filesystem>

#include "editor/editsession.h"
#include "editor/regionfile.h"
#include "shell/appstate.h"

namespace murrel {

namespace {

int64_t StatvfsFree(const std::string& folder) {
    struct statvfs st {};
    if (::statvfs(folder.c_str(), &st) != 0) return -1;
    return int64_t(st.f_bavail) * int64_t(st.f_frsize);
}

// The markers of `list` within [s, e] moved to start at s; a marker whose
// partner stays behind arrives unpaired and marked as such.
std::vector<TMMMarker> MarkersWithin(const TMMMarkerList& list, int64_t s, int64_t e) {
    auto inside = [&](int64_t offset) { return s <= offset && offset <= e; };
    std::vector<TMMMarker> out;
    for (int64_t k = 0; k < list.Count(); ++k) {
        TMMMarker m = list[k];
        if (!inside(m.Offset)) continue;
        const int64_t p = list.Partner(k);
        if (m.NextID > 0 && (p < 0 || !inside(list[p].Offset))) {
            m.NextID = 0;
            m.Color = TMMMarkerList::kOrphanColor;
        }
        m.Offset -= s;
        out.push_back(m);
    }
    return out;
}

void SelectRange(TMMWave& w, int64_t s, int64_t e) {
    w.SetSkipList(nullptr);
    w.SetStartPos(0);
    w.SetEndPos(e);
    w.SetStartPos(s);
    w.SetPosition(0);
}

}  // namespace

void TMMEditSession::Commit(const EditDocumentState& before, const EditDocumentState& next) {
    EditUndoRecord record;
    record.kind = EditUndoKind::Document;
    record.document = before;
    record.modified = modified_;
    try {
        LoadState(next);
    } catch (...) {
        LoadState(before);
        throw;
    }
    PushUndo(std::move(record));
    modified_ = true;
}

bool TMMEditSession::CopyToClipboard() { return CopyToClipboard(document_, &document_markers_); }

bool TMMEditSession::CopyToClipboard(TMMEnhancedWave& pane, const TMMMarkerList* markers) {
    if (!CanCopy()) return false;
    const int64_t s = sel_start_, e = sel_end_;
    return RunEdit("FE_wav_msg16", [&](std::string& out) {
        TMMEnhancedWave working;
        PrepareWorking(working, pane);
        SelectRange(working, s, e);
        out = ReserveTempName();
        Render(working, out, "FE_wav_msg2");
        ReplaceClipboard(out, true);
        out.clear();
        clipboard_markers_.BeginUpdate();
        clipboard_markers_.Clear();
        if (markers)
            for (const TMMMarker& m : MarkersWithin(*markers, s, e)) clipboard_markers_.Add(m);
        clipboard_markers_.EndUpdate();
        WriteClipboardRegion();
        return true;
    });
}

bool TMMEditSession::CutSelection() {
    // The clipboard keeps the selection even when the delete is refused.
    if (!CanCut() || !CopyToClipboard()) return false;
    return DeleteSelection();
}

bool TMMEditSession::DeleteSelection() {
    const int64_t s = sel_start_, e = sel_end_, len = e - s;
    if (Refuse(document_.DataSize() - len)) return false;
    const EditDocumentState before = CaptureDocument();
    return RunEdit("FE_wav_msg16", [&](std::string& out) {
        TMMEnhancedWave working;
        PrepareWorking(working, document_);
        TMMCutList one;
        one.Add({s, 0, len, 0, 0});
        working.SetSkipList(&one);
        working.SetPosition(0);
        out = ReserveTempName();
        temp_files_.push_back(out);
        Render(working, out, "FE_wav_msg5");

        EditDocumentState next;
        next.file = out;
        // A marker inside the selection goes, and its partner with it.
        std::vector<int32_t> gone;
        for (int64_t k = 0; k < document_markers_.Count(); ++k) {
            const TMMMarker& m = document_markers_[k];
            if (m.Offset < s || m.Offset > e) continue;
            gone.push_back(m.ID);
            if (const int64_t p = document_markers_.Partner(k); p >= 0) gone.push_back(document_markers_[p].ID);
        }
        for (TMMMarker m : before.markers) {
            if (std::find(gone.begin(), gone.end(), m.ID) != gone.end()) continue;
            if (m.Offset > e) m.Offset -= len;
            next.markers.push_back(m);
        }
        // Cuts within the selection lost their audio with it.
        for (TMMCutRecord c : before.cuts) {
            if ((c.start <= s && s < c.end()) || (c.start >= s && c.start <= e)) continue;
            if (c.start > e) c.start -= len;
            next.cuts.push_back(c);
        }
        if (!BuildDisplay(out)) return false;
        Commit(before, next);
        sel_start_ = sel_end_ = -1;
        locator_ = s;
        return true;
    });
}

bool TMMEditSession::TrimToSelection() {
    if (!CanCut()) return false;
    const int64_t s = sel_start_, e = sel_end_;
    if (Refuse(e - s)) return false;
    const EditDocumentState before = CaptureDocument();
    return RunEdit("FE_wav_msg16", [&](std::string& out) {
        TMMEnhancedWave working;
        PrepareWorking(working, document_);
        SelectRange(working, s, e);
        out = ReserveTempName();
        temp_files_.push_back(out);
        Render(working, out, "FE_wav_msg5");
        EditDocumentState next;
        next.file = out;
        next.markers = MarkersWithin(document_markers_, s, e);
        if (!BuildDisplay(out)) return false;
        Commit(before, next);
        sel_start_ = sel_end_ = -1;
        locator_ = 0;
        return true;
    });
}

bool TMMEditSession::PasteClipboard() { return PasteAt(locator_); }

// Writes document[0, p) + the clipboard + document[p, end) into `path` in the
// document's format, in chunks, checking the room on the disk before each.
void TMMEditSession::CopyPasteStream(const std::string& path, int64_t p, TMMEnhancedWave& clip) {
    const TWaveFormatEx format = *document_.OutputFormat();
    TMMEnhancedWave head, tail;
    PrepareWorking(head, document_);
    SelectRange(head, 0, p);
    PrepareWorking(tail, document_);
    SelectRange(tail, p, document_.DataSize());
    TMMWave* parts[] = {&head, &clip, &tail};
    int64_t total = 0;
    for (TMMWave* w : parts) total += w->LengthInBytes();

    const std::string folder = std::filesystem::path(path).parent_path().string();
    const auto free_space = FreeSpace ? FreeSpace : std::function<int64_t(const std::string&)>(StatvfsFree);
    progress_->set_caption(app().message("FE_wav_msg3"));
    progress_->set_current(0);
    const int64_t align = std::max<int64_t>(1, format.nBlockAlign);
    std::vector<uint8_t> buf(static_cast<size_t>(kPasteChunk));
    TMMWave out;
    out.FileMustExist = false;
    out.CreateFile(path, format);
    try {
        int64_t done = 0;
        for (TMMWave* w : parts) {
            w->OpenFile();
            for (int64_t left = w->LengthInBytes(); left > 0;) {
                const int64_t want = std::min(left, kPasteChunk - kPasteChunk % align);
                const int64_t n = w->ReadData(buf.data(), want);
                if (n <= 0) break;
                const int64_t room = free_space(folder);
                if (room >= 0 && room < n + kSpareBytes) throw EMMWaveError(WaveError::SaveError);
                if (out.WriteData(buf.data(), n) != n) throw EMMWaveError(WaveError::SaveError);
                left -= n;
                done += n;
                progress_->process_events();
                progress_->set_current(total > 0 ? int(done * 100 / total) : 100);
                if (app().convert_cancel) throw EMMWaveError(WaveError::SaveAborted);
            }
            w->CloseFile();
        }
        out.CloseFile();
    } catch (const EMMWaveError& e) {
        try {
            out.CloseFile();
        } catch (const std::exception&) {
        }
        throw EMMWaveError(e.code() == WaveError::SaveAborted ? WaveError::SaveAborted : WaveError::SaveError);
    } catch (const std::exception&) {
        try {
            out.CloseFile();
        } catch (const std::exception&) {
        }
        throw EMMWaveError(WaveError::SaveError);
    }
}

bool TMMEditSession::PasteAt(int64_t p) {
    if (!CanPaste()) return false;
    p = std::clamp<int64_t>(p, 0, document_.DataSize());
    const EditDocumentState before = CaptureDocument();
    return RunEdit("FE_wav_msg16", [&](std::string& out) {
        // A reader of its own, converted to the document's format; the
        // clipboard's file stays as it is.
        TMMEnhancedWave clip;
        clip.Assign(clipboard_);
        clip.SetNoFades(true);
        clip.SetOutputFormat(document_.OutputFormat());
        clip.SetSkipList(nullptr);
        const int64_t len = clip.LengthInSamples();
        out = ReserveTempName();
        temp_files_.push_back(out);
        CopyPasteStream(out, p, clip);

        EditDocumentState next;
        next.file = out;
        // A marker at the paste point stays before the block.
        for (TMMMarker m : before.markers) {
            if (m.Offset > p) m.Offset += len;
            next.markers.push_back(m);
        }
        TMMMarkerList merged;
        for (const TMMMarker& m : next.markers) merged.Add(m);
        std::vector<bool> done(size_t(clipboard_markers_.Count()), false);
        auto placed = [&](TMMMarker m, int32_t id, int32_t next_id) {
            // Clipboard offsets are its own frames; the block is in the document's.
            m.Offset = clip.FileToOutputFrames(m.Offset) + p;
            m.ID = id;
            m.NextID = next_id;
            return m;
        };
        for (int64_t k = 0; k < clipboard_markers_.Count(); ++k) {
            if (done[size_t(k)]) continue;
            done[size_t(k)] = true;
            const TMMMarker& a = clipboard_markers_[k];
            const int64_t pk = clipboard_markers_.Partner(k);
            if (pk >= 0 && pk != k && !done[size_t(pk)]) {
                done[size_t(pk)] = true;
                const int32_t ia = merged.NewID();
                int32_t ib = merged.NewID();
                while (ib == ia) ib = merged.NewID();
                merged.Add(placed(a, ia, ib));
                merged.Add(placed(clipboard_markers_[pk], ib, ia));
            } else {
                TMMMarker m = placed(a, merged.NewID(), 0);
                m.Color = TMMMarkerList::kOrphanColor;
                merged.Add(m);
            }
        }
        next.markers = merged.Items();
        for (TMMCutRecord c : before.cuts) {
            if (c.start >= p) {
                c.start += len;
                next.cuts.push_back(c);
            } else if (c.end() > p) {
                next.cuts.push_back({c.start, 0, p - c.start, 0, c.extra});
                next.cuts.push_back({p + len, 0, c.end() - p, 0, c.extra});
            } else {
                next.cuts.push_back(c);
            }
        }
        if (!BuildDisplay(out)) return false;
        Commit(before, next);
        sel_start_ = p;
        sel_end_ = p + len;
        locator_ = p;
        return true;
    });
}

bool TMMEditSession::InsertBlank() {
    StopPlayback();
    if (DocumentEmpty()) return false;
    const bool made = RunEdit("FE_wav_msg16", [&](std::string& out) {
        const TWaveFormatEx format = *document_.OutputFormat();
        out = ReserveTempName();
        {
            TMMWave w;
            w.FileMustExist = false;
            w.CreateFile(out, format);
            const int64_t align = std::max<int64_t>(1, format.nBlockAlign);
            // Silence is the middle of the range: 128 for unsigned 8-bit samples.
            std::vector<uint8_t> second(size_t(format.nAvgBytesPerSec - format.nAvgBytesPerSec % align),
                                        format.wBitsPerSample == 8 ? 128 : 0);
            if (w.WriteData(second.data(), int64_t(second.size())) != int64_t(second.size()))
                throw EMMWaveError(WaveError::SaveError);
            w.CloseFile();
            w.FreeWave();
        }
        ReplaceClipboard(out, true);
        out.clear();
        clipboard_markers_.Clear();
        WriteClipboardRegion();
        return true;
    });
    return made && PasteAt(locator_);
}

}  // namespace murrel
