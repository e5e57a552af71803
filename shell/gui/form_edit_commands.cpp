// The Voice Editor's edit commands, pop-ups and the pane wiring: every edit
// goes through the edit session; the window hands it the lower pane's
// selection and locator first and shows the result afterwards. Also the range
// slider, the zoom bands, and the end of the desktop session with unsaved
// changes.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QToolButton>
#include <filesystem>
#include <regex>

#include "editor/gui/editorpane.h"
#include "shell/appstate.h"
#include "shell/gui/form_edit.h"

namespace murrel {

void Tform_edit::SyncSession() {
    if (document_loaded && lower_->HasSelection()) session_->SetSelection(lower_->SelStart(), lower_->SelEnd());
    else session_->SetSelection(-1, -1);
    session_->SetLocator(document_loaded ? std::max<int64_t>(lower_->Locator(), 0) : 0);
    const QScreen* s = QGuiApplication::primaryScreen();
    session_->SetScreenWidth(s ? s->size().width() : 1);
}

void Tform_edit::RunEdit(const std::function<bool()>& op) {
    if (!document_loaded || active_pane != 2) return;
    SyncSession();
    rendering_ = true;
    const bool ok = op();
    rendering_ = false;
    HideGauge();
    AfterEdit(ok);
}

void Tform_edit::AfterEdit(bool) {
    for (QWidget* w : std::initializer_list<QWidget*>{lower_->FullView, lower_->CutterView, lower_->LocatorPanel})
        w->update();
    RefreshState();
}

void Tform_edit::button_copyClick() {
    if (active_pane == 1 && reference_loaded && upper_->HasSelection()) {
        session_->SetSelection(upper_->SelStart(), upper_->SelEnd());
        rendering_ = true;
        session_->CopyToClipboard(reference_, &reference_markers_);
        rendering_ = false;
        HideGauge();
        AfterEdit(true);
        return;
    }
    RunEdit([this] { return session_->CopyToClipboard(); });
}

void Tform_edit::button_cutClick() { RunEdit([this] { return session_->CutSelection(); }); }
void Tform_edit::button_trimClick() { RunEdit([this] { return session_->TrimToSelection(); }); }
void Tform_edit::button_pasteClick() { RunEdit([this] { return session_->PasteClipboard(); }); }
void Tform_edit::button_oneblankClick() { RunEdit([this] { return session_->InsertBlank(); }); }
void Tform_edit::button_undoClick() { RunEdit([this] { return session_->Undo(); }); }
void Tform_edit::RedoClick() { RunEdit([this] { return session_->Redo(); }); }
void Tform_edit::button_saveasClick() { RunEdit([this] { return session_->SaveDocumentAs(); }); }
void Tform_edit::button_downblocksaveClick() { RunEdit([this] { return session_->SaveSelection(); }); }

void Tform_edit::button_scaleupClick() {
    RunEdit([this] {
        session_->ScaleVolume(TMMEditSession::kVolumeUp);
        return true;
    });
}

void Tform_edit::button_scaledownClick() {
    RunEdit([this] {
        session_->ScaleVolume(TMMEditSession::kVolumeDown);
        return true;
    });
}

void Tform_edit::button_resetClick() {
    RunEdit([this] {
        session_->ResetVolume();
        return true;
    });
}

void Tform_edit::SelectAllClick() {
    if (!(active_pane == 1 ? reference_loaded : active_pane == 2 ? document_loaded : false) || Playing()) return;
    TEditorPane& view = Pane(active_pane);
    if (view.SelStart() == 0 && view.SelEnd() == view.Frames()) view.SetSelection(-1, -1);
    else view.SetSelection(0, view.Frames());
    RefreshState();
}

void Tform_edit::ZoomSelectedClick() {
    if (active_pane == 0 || !Pane(active_pane).HasSelection()) return;
    TEditorPane& view = Pane(active_pane);
    view.ShowZoom(view.SelStart(), view.SelEnd());
}

void Tform_edit::RestoreZoomClick() {
    if (active_pane == 0 || !Pane(active_pane).Loaded()) return;
    Pane(active_pane).ShowZoom(0, Pane(active_pane).Frames());
}

void Tform_edit::MarkPositionClick() { AddMarkerAt(lower_->Locator()); }

void Tform_edit::AddMarkerAt(int64_t frame) {
    if (!document_loaded) return;
    RunEdit([this, frame] { return session_->AddMarker(std::clamp<int64_t>(frame, 0, lower_->Frames())); });
}

void Tform_edit::DeleteMarkerAt(int64_t frame) {
    const int64_t index = lower_->LocatorPanel->MarkerAt(int(lower_->LocatorPanel->Model().ValueToPixel(frame)));
    if (index < 0) return;
    RunEdit([this, index] {
        session_->DeleteMarker(index);
        return true;
    });
}

void Tform_edit::DeleteAllMarkersClick() {
    RunEdit([this] {
        session_->DeleteAllMarkers();
        return true;
    });
}

void Tform_edit::ShowPopup(TEditorPane& pane, QWidget* panel, QPoint global, int64_t frame) {
    popup_frame_ = frame;
    const bool lower = &pane == lower_;
    if (lower && panel == lower_->LocatorPanel) {
        const bool on_marker = lower_->LocatorPanel->MarkerAt(int(lower_->LocatorPanel->Model().ValueToPixel(frame))) >= 0;
        Item("PUMarkerpopupAddMarker")->setVisible(!on_marker);
        Item("PUMarkerpopupdelete")->setVisible(on_marker);
        Item("PUMarkerpopupalldelete")->setEnabled(on_marker || session_->DocumentMarkers().Count() > 0);
        MarkerPopup->popup(global);
        return;
    }
    const bool selection = pane.HasSelection();
    const bool playing = Playing();
    auto set = [this](const char* name, bool on) { Item(name)->setEnabled(on); };
    // Upper pane: listen, select, zoom and copy only.
    set("PUSelectionpopup_SelectAll", !playing);
    set("PUSelectionPopupPlay", selection && !playing);
    set("PUSelectionPopupzoom", selection);
    set("PUSelectionpopup_copy", selection);
    set("PUSelectionPopupPlayall", lower && selection && !playing);
    set("PUSelectionPopupStop", lower && selection);
    set("PUSelectionpopup_marking", lower);
    set("PUSelectionpopup_cut", lower && selection && session_->CanCut());
    set("PUSelectionpopup_trim", lower && selection && session_->CanCut());
    set("PUSelectionpopup_Paste", lower && session_->CanPaste());
    SelectionPopup->popup(global);
}

void Tform_edit::WirePane(TEditorPane& pane, int index) {
    pane.OnPress = [this, index](TEditorPane&) { ActivatePane(index); };
    pane.OnLocatorPressed = [this, index](TEditorPane& p, int64_t frame) {
        if (!Playing() || playing_pane_ != index) {
            ShowStatus();
        } else if (p.LocatorDragging()) {
            // The output waits while the locator is dragged and goes on
            // where it is let go.
            if (!wave_out_.IsDevicePaused()) wave_out_.Pause();
            locator_pos = frame;
        } else {
            SeekPlayback(frame);
        }
    };
    pane.OnLocatorReleased = [this, index](TEditorPane&, int64_t frame) {
        if (Playing() && playing_pane_ == index) SeekPlayback(frame);
    };
    pane.OnSelectionChanged = [this](TEditorPane&) { RefreshState(); };
    pane.OnRightRelease = [this](TEditorPane& p, QWidget* panel, QPoint global, int64_t frame) {
        SyncSession();
        ShowPopup(p, panel, global, frame);
    };
    if (index == 2) {
        pane.OnMarkerDragBegin = [this](TEditorPane&) { session_->BeginMarkerDrag(); };
        pane.OnMarkerDragEnd = [this](TEditorPane&) {
            session_->EndDrag();
            RefreshState();
        };
    }
    // While this pane plays, its mouse is the window's (before the pane's own filter).
    for (QWidget* panel : std::initializer_list<QWidget*>{pane.FullViewTimePanel, pane.FullView, pane.CutterViewTimePanel,
                                                          pane.LocatorPanel, pane.CutterView})
        panel->installEventFilter(new TEventTap(panel, [this, &pane, index, panel](QObject*, QEvent* e) {
            return PlaybackMouse(pane, index, panel, e);
        }));
    // Dragging the thumb shows its range at once; resizing it only the strips
    // above, until it is let go and the zoomed view loads the new range.
    pane.ScrollPanel->OnTrack = [this, &pane](TMMScrollPanel&, int64_t min, int64_t max) {
        scroll_tracking = true;
        pane.ShowZoom(min, max);
    };
    pane.ScrollPanel->OnTrackSize = [this, &pane](TMMScrollPanel& slider, int64_t min, int64_t max) {
        scroll_tracking = true;
        pane.CutterViewTimePanel->Model().SetDisplayRange(min, max);
        pane.LocatorPanel->Model().SetDisplayRange(min, max);
        pane.CutterViewTimePanel->update();
        pane.LocatorPanel->update();
        slider.SetCaption(QString::fromStdString(FormatTime(max - min, pane.CutterViewTimePanel->Model().SampleRate)));
    };
    pane.ScrollPanel->OnTrackEnd = [this, &pane](TMMScrollPanel&, int64_t min, int64_t max) {
        scroll_tracking = false;
        // ShowZoom widens the range to the view's pixels and puts the thumb there.
        pane.ShowZoom(min, max);
    };
    for (TMMTimePanel* t : {pane.FullViewTimePanel, pane.CutterViewTimePanel})
        t->Model().OnZoomEnd = [this, &pane](TMMTimePanelModel&, int64_t a, int64_t b) { ZoomBandEnd(pane, a, b); };
    for (TMMWaveEditor* v : {pane.FullView, pane.CutterView})
        v->Model().OnZoomEnd = [this, &pane](TMMWaveEditorModel&, int64_t a, int64_t b) { ZoomBandEnd(pane, a, b); };
    for (TMMWaveEditor* v : {pane.FullView, pane.CutterView}) {
        v->OnGenerate = [this](TMMWaveEditor&, int percent, bool& cancel) {
            if (!gauge_shown_) set_caption(app().message("FE_wav_msg1"));
            set_current(percent);
            cancel = app().convert_cancel;
        };
    }
}

void Tform_edit::ZoomBandEnd(TEditorPane& view, int64_t first, int64_t second) {
    // Only a band dragged right to left over at least 2000 frames zooms: the
    // views report theirs in ascending order, and a shorter one is taken for
    // a slip of the hand.
    if (!view.Loaded() || first - second < 2000) return;
    const uint32_t rate = std::max<uint32_t>(view.CutterView->Wave().SampleRate(), 1);
    const int64_t least = view.CutterView->Pcm() ? int64_t(view.CutterView->Model().InnerWidth())
                                                 : int64_t(rate) * 1500 / 1000;
    int64_t from = second, to = first;
    if (to - from < least) {
        const int64_t middle = from + (to - from) / 2;
        from = std::clamp<int64_t>(middle - least / 2, 0, std::max<int64_t>(view.Frames() - least, 0));
        to = std::min(view.Frames(), from + least);
    }
    view.ShowZoom(from, to);
}

// --- the end of the desktop session ------------------------------------------

bool Tform_edit::SessionEnding(bool may_ask) {
    if (!document_loaded || !session_->Modified()) return true;
    if (!may_ask) {
        KeepRecoveryCopy();
        return true;
    }
    button_stopClick();
    return AskSaveFirst();
}

std::string Tform_edit::KeepRecoveryCopy() {
    namespace fs = std::filesystem;
    if (!document_loaded || !session_->Modified()) return {};
    const fs::path original = session_->DocumentName().empty() ? fs::path("document.wav") : fs::path(session_->DocumentName());
    // A document that is itself a recovery copy is kept under its first name.
    const std::string stem = std::regex_replace(original.stem().string(), std::regex(R"( \(recovered( [0-9]+)?\)$)"), "");
    for (const fs::path& folder : {original.parent_path(), fs::path(QDir::homePath().toStdString())}) {
        if (folder.empty() || ::access(folder.c_str(), W_OK) != 0) continue;
        fs::path target = folder / (stem + " (recovered).wav");
        for (int n = 2; fs::exists(target); ++n) target = folder / (stem + " (recovered " + std::to_string(n) + ").wav");
        SyncSession();
        if (session_->SaveDocumentTo(target.string())) return target.string();
    }
    return {};
}

namespace {
int term_pipe[2] = {-1, -1};
struct sigaction previous_term {};
void on_term(int) {
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(term_pipe[1], &c, 1);
}
}  // namespace

void Tform_edit::WatchDesktopEnd(bool handle_sigterm) {
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
        const bool may_ask = manager.allowsInteraction();
        const bool go_on = SessionEnding(may_ask);
        if (may_ask) manager.release();
        if (!go_on) manager.cancel();
    });
    if (!handle_sigterm || term_pipe[0] >= 0) return;
    // A signal handler may only write to a pipe; the event loop does the rest.
    if (::pipe2(term_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    struct sigaction action {};
    action.sa_handler = on_term;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, &previous_term);
    auto* notifier = new QSocketNotifier(term_pipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char buffer[16];
        while (::read(term_pipe[0], buffer, sizeof buffer) > 0) {
        }
        // Nobody can be asked now: what was changed stays on disk. Once it is
        // kept the windows close as usual (the main window writes its
        // settings) without asking; a copy that could not be written leaves
        // the question to a window nobody sees, so then the program just ends.
        KeepRecoveryCopy();
        if (!document_loaded || !session_->Modified()) QApplication::closeAllWindows();
        QApplication::quit();
    });
    connect(notifier, &QObject::destroyed, [] {
        ::sigaction(SIGTERM, &previous_term, nullptr);
        ::close(term_pipe[0]);
        ::close(term_pipe[1]);
        term_pipe[0] = term_pipe[1] = -1;
    });
}

}  // namespace murrel
