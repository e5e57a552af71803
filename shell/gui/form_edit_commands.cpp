// The Voice Editor's edit commands, pop-ups and the pane wiring: every edit
// goes through the edit session; the window hands it the lower pane's
// selection and locator first and shows the result afterwards.
#include <QAction>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QToolButton>

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
    for (TMMWaveEditor* v : {pane.FullView, pane.CutterView}) {
        v->OnGenerate = [this](TMMWaveEditor&, int percent, bool& cancel) {
            if (!gauge_shown_) set_caption(app().message("FE_wav_msg1"));
            set_current(percent);
            cancel = app().convert_cancel;
        };
    }
}

}  // namespace murrel
