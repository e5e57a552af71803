// The Voice Editor's panes: opening, loading, closing, the window state and
// the status bar.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

#include "audio/formats/mmwave_errors.h"
#include "editor/gui/editorpane.h"
#include "shell/appstate.h"
#include "shell/dialogs.h"
#include "shell/gui/form_edit.h"
#include "voicefile/fileinfo.h"
#include "voicefile/gui/form_progress.h"
#include "voicefile/stream_lease.h"
#include "ui/bitmap_button.h"

namespace murrel {

namespace {
constexpr const char* kOpenFilter =
    "Wave-Files,Vkd-Files (*.wav *.vkd *.WAV *.VKD);;Wave-Files(*.wav *.WAV);;Vkd-Files(*.vkd *.VKD)";
constexpr const char* kWaveFilter = "Wave-Files(*.wav *.WAV)";

std::string full_path(const std::string& p) {
    return p.empty() ? p : QFileInfo(QString::fromStdString(p)).absoluteFilePath().toStdString();
}

bool same_file(const std::string& a, const std::string& b) {
    return !a.empty() && !b.empty() && full_path(a) == full_path(b);
}

std::string with_wav_extension(const std::string& p) {
    const size_t slash = p.find_last_of('/');
    const size_t dot = p.find_last_of('.');
    const std::string stem = dot != std::string::npos && (slash == std::string::npos || dot > slash) ? p.substr(0, dot) : p;
    return stem + ".WAV";
}
}  // namespace

void Tform_edit::ShowMessage(const char* key) {
    MessageRequest r;
    r.caption = app().app_name;
    r.text = app().message(key);
    r.icon = MessageIcon::Error;
    r.system_modal = true;
    dialogs().message_box(r);
}

bool Tform_edit::AskSaveFirst() {
    if (!document_loaded || !session_->Modified()) return true;
    MessageRequest r;
    r.caption = app().app_name;
    r.text = app().message("FE_wav_msg7");
    r.icon = MessageIcon::Warning;
    r.buttons = MessageButtons::YesNoCancel;
    r.system_modal = true;
    const DialogResult answer = dialogs().message_box(r);
    if (answer == DialogResult::Cancel) return false;
    if (answer == DialogResult::Yes) {
        SyncSession();
        if (!session_->SaveDocumentAs()) return false;
        RefreshState();
    }
    return true;
}

void Tform_edit::ChooseAndOpen(int pane) {
    FileDialogRequest r;
    r.folder = InitialFolder;
    r.filter = kOpenFilter;
    const std::vector<std::string> chosen = dialogs().open_files(r);
    // The clipboard's own file is no document.
    if (chosen.empty() || same_file(chosen.front(), session_->Clipboard().FileName())) return;
    OpenFileIntoPane(pane, chosen.front());
}

void Tform_edit::button_opendownfileClick() {
    if (AskSaveFirst()) ChooseAndOpen(2);
}

void Tform_edit::button_openupfileClick() { ChooseAndOpen(1); }

std::string Tform_edit::DecodeVoice(int pane, const std::string& path, const Tkoltfile_info& info) {
    FileDialogRequest r;
    r.file_name = with_wav_extension(path);
    r.folder = QFileInfo(QString::fromStdString(path)).absolutePath().toStdString();
    r.filter = kWaveFilter;
    r.default_extension = "wav";
    const std::optional<std::string> chosen = dialogs().save_file(r);
    if (!chosen) return {};
    const std::string& other = pane == 2 ? reference_name : session_->DocumentName();
    if (same_file(*chosen, other)) {
        ShowMessage(pane == 2 ? "FE_wav_msg10" : "FE_wav_msg9");
        return {};
    }
    app().convert_cancel = false;
    ConversionProgress* progress = ProgressDialog ? static_cast<ConversionProgress*>(ProgressDialog) : &no_progress();
    if (ProgressDialog) {
        ProgressDialog->set_caption(app().message("FM_caption_title0"));
        ProgressDialog->set_total(0);
        ProgressDialog->set_current(0);
        ProgressDialog->set_filecount("1 of 1 file(s)");
        ProgressDialog->set_filebyte("");
        ProgressDialog->show();
    }
    bool ok = false;
    try {
        TMMWave scratch;
        ok = file_decompress_leased(path, *chosen, info, scratch, *progress);
    } catch (const std::exception& e) {
        show_error(e.what());
    }
    if (ProgressDialog) {
        ProgressDialog->center_on_desktop();
        ProgressDialog->close();
    }
    return ok ? *chosen : std::string();
}

bool Tform_edit::CheckFormat(const std::string& path) {
    TMMWave test;
    try {
        test.SetFileName(path);
        test.OpenFile();
    } catch (const std::exception&) {
        ShowMessage("FE_wav_msg13");
        return false;
    }
    const TWaveFormatEx* f = test.FileFormat();
    const bool accepted = f && ((f->wFormatTag == WAVE_FORMAT_PCM && f->nChannels == 1 && f->wBitsPerSample == 16 &&
                                 f->nSamplesPerSec == 16000) ||
                                f->nSamplesPerSec == 22050);
    const bool empty = test.DataSize() == 0;
    test.FreeWave();
    if (!accepted) {
        ShowMessage("FE_wav_msg0");
        return false;
    }
    if (empty) {
        ShowMessage("FE_wav_msg11");
        return false;
    }
    return true;
}

void Tform_edit::OpenFileIntoPane(int pane, const std::string& chosen) {
    if (chosen.empty()) return;
    Tkoltfile_info info;
    const int kind = get_fileinfo(chosen, info);
    if (kind == kFileNeither) return;
    std::string p = chosen;
    if (kind == kFileVoice) {
        p = DecodeVoice(pane, chosen, info);
        if (p.empty()) return;
    }
    if (same_file(p, reference_name)) {
        ShowMessage("FE_wav_msg10");
        return;
    }
    if (same_file(p, session_->DocumentName()) && document_loaded) {
        ShowMessage("FE_wav_msg9");
        return;
    }
    if (!CheckFormat(p)) return;
    button_stopClick();
    p = full_path(p);
    if (pane == 2) {
        if (document_loaded) UnloadPane(2);
        if (session_->OpenDocument(p)) {
            active_pane = 2;
            LoadPane(2);
            if (!document_loaded) {
                session_->CloseDocument();
                if (reference_loaded) active_pane = 1;
            }
        }
    } else {
        if (reference_loaded) UnloadPane(1);
        reference_cuts_.Clear();
        reference_markers_.Clear();
        reference_.SetCutList(&reference_cuts_);
        reference_.SetFileName(p);
        reference_name = p;
        session_->SetReferenceName(p);
        active_pane = 1;
        LoadPane(1);
        if (!reference_loaded) {
            reference_.FreeWave();
            reference_name.clear();
            session_->SetReferenceName("");
            if (document_loaded) active_pane = 2;
        }
    }
    RefreshState();
}

void Tform_edit::LoadPane(int pane) {
    TEditorPane& view = Pane(pane);
    TMMEnhancedWave& wave = pane == 2 ? session_->Document() : reference_;
    TMMMarkerList* markers = pane == 2 ? &session_->DocumentMarkers() : &reference_markers_;
    raise();
    speedbar->setEnabled(false);
    bool& loaded = pane == 2 ? document_loaded : reference_loaded;
    loaded = false;
    app().convert_cancel = false;
    try {
        view.Load(wave, markers);
        loaded = true;
    } catch (const std::exception& e) {
        view.Unload();
        HideGauge();
        if (!app().convert_cancel) show_error(e.what());
    }
    HideGauge();
    if (loaded) view.Panel_filename->setText(QFileInfo(QString::fromStdString(wave.FileName())).fileName());
    speedbar->setEnabled(true);
}

void Tform_edit::ReloadDocument() {
    if (!document_loaded) return;
    const int64_t zoom_start = lower_->ZoomStart(), zoom_end = lower_->ZoomEnd();
    const bool zoomed = zoom_start > 0 || zoom_end < lower_->Frames();
    try {
        lower_->Load(session_->Document(), &session_->DocumentMarkers());
    } catch (const std::exception& e) {
        lower_->Unload();
        document_loaded = false;
        HideGauge();
        if (!app().convert_cancel) show_error(e.what());
        RefreshState();
        return;
    }
    HideGauge();
    lower_->Panel_filename->setText(
        QFileInfo(QString::fromStdString(session_->Document().FileName())).fileName());
    if (zoomed) lower_->ShowZoom(std::min(zoom_start, lower_->Frames()), std::min(zoom_end, lower_->Frames()));
    lower_->SetLocator(std::clamp<int64_t>(session_->Locator(), 0, lower_->Frames()));
    lower_->SetSelection(session_->SelStart(), session_->SelEnd());
}

void Tform_edit::UnloadPane(int pane) {
    Pane(pane).Unload();
    if (pane == 2) {
        document_loaded = false;
    } else {
        reference_loaded = false;
        reference_.FreeWave();
        reference_name.clear();
        reference_cuts_.Clear();
        reference_markers_.Clear();
        session_->SetReferenceName("");
    }
}

bool Tform_edit::ClosePane(int pane) {
    button_stopClick();
    if (pane == 2) {
        if (!AskSaveFirst()) return false;
        if (document_loaded) session_->CloseDocument();
    }
    UnloadPane(pane);
    for (QLabel* l : {StatusFile, StatusTime, StatusMaxtime, StatusRate, StatusBits, StatusMessage, StatusSelected})
        l->clear();
    if (active_pane == pane) active_pane = (pane == 2 ? reference_loaded : document_loaded) ? 3 - pane : 0;
    RefreshState();
    return true;
}

void Tform_edit::ActivatePane(int pane) {
    if (pane == active_pane || !speedbar->isEnabled()) return;
    if (!(pane == 1 ? reference_loaded : document_loaded)) return;
    if (Playing()) button_stopClick();
    active_pane = pane;
    RefreshState();
}

void Tform_edit::RefreshState() {
    const bool playing = Playing();
    const bool up = active_pane == 1 && reference_loaded, down = active_pane == 2 && document_loaded;
    upper_->SetActive(up);
    lower_->SetActive(down);
    SyncSession();
    const bool up_sel = up && upper_->HasSelection(), down_sel = down && lower_->HasSelection();
    const bool can_cut = down_sel && session_->CanCut();
    const bool can_paste = down && session_->CanPaste();
    auto enable = [this](std::initializer_list<const char*> names, bool on) {
        for (const char* n : names)
            if (QAction* a = Item(n)) a->setEnabled(on);
    };
    for (QToolButton* b : {button_upclose, button_normalrangeup}) b->setEnabled(up);
    button_selectallup->setEnabled(up && !playing);
    button_viewcopy->setEnabled(up_sel);
    enable({"PDUpClose", "PDUpRestoreZoomed"}, up);
    enable({"PDUpSelectAll"}, up && !playing);
    enable({"PDUpCopy", "PDUpZoom"}, up_sel);
    for (QToolButton* b : {button_downclose, button_saveas, button_oneblank, button_scaleup, button_scaledown,
                           button_reset, button_normalrange})
        b->setEnabled(down);
    button_selectall->setEnabled(down && !playing);
    button_undo->setEnabled(down && session_->UndoCount() > 0);
    button_redo->setEnabled(down && session_->RedoCount() > 0);
    button_copy->setEnabled(down_sel);
    button_downblocksave->setEnabled(down_sel);
    button_cut->setEnabled(can_cut);
    button_trim->setEnabled(can_cut);
    button_paste->setEnabled(can_paste);
    enable({"PDDownSave", "PDDownClose", "PDDownInsert1Sec", "PDDownUpVolume", "PDDownDownVolume",
            "PDDownResetVolume", "PDDownRestoreZoomed"},
           down);
    enable({"PDDownSelectAll"}, down && !playing);
    enable({"PDDownUndo"}, button_undo->isEnabled());
    enable({"PDDownRedo"}, button_redo->isEnabled());
    enable({"PDDownCopy", "PDDownSaveSelect", "PDDownZoom"}, down_sel);
    enable({"PDDownCut", "PDDownTrim"}, can_cut);
    enable({"PDDownPaste"}, can_paste);
    button_play->setEnabled((up || down) && !playing && wave_out_.NumDevs() > 0);
    button_stop->setEnabled(up || down);
    StatusMessage->clear();
    ShowStatus();
}

std::string Tform_edit::FormatTime(int64_t frames, uint32_t rate) {
    const int64_t ms = rate ? frames * 1000 / rate : 0;
    const int64_t msec = ms % 1000, s = ms / 1000 % 60, m = ms / 60000 % 60, h = ms / 3600000 % 24, d = ms / 86400000;
    char buf[64];
    if (ms < 3600000)
        std::snprintf(buf, sizeof buf, "%d:%2.2d.%3.3d", int(ms / 60000), int(s), int(msec));
    else if (ms < 86400000)
        std::snprintf(buf, sizeof buf, "%d:%2.2d:%2.2d.%3.3d", int(ms / 3600000), int(m), int(s), int(msec));
    else
        std::snprintf(buf, sizeof buf, "%d:%2.2d:%2.2d:%2.2d.%3.3d", int(d), int(h), int(m), int(s), int(msec));
    return buf;
}

void Tform_edit::ShowStatus() {
    const bool loaded = active_pane == 1 ? reference_loaded : active_pane == 2 ? document_loaded : false;
    if (!loaded) {
        for (QLabel* l : {StatusFile, StatusTime, StatusMaxtime, StatusRate, StatusBits, StatusSelected}) l->clear();
        return;
    }
    TEditorPane& pane = Pane(active_pane);
    const TMMEnhancedWave& wave = pane.FullView->Wave();
    const uint32_t rate = wave.SampleRate();
    const QString path = QString::fromStdString(wave.FileName());
    // Leading folders give way to ".../" until the path fits its panel; a
    // name that still does not fit loses its beginning, never its end.
    const QFontMetrics fm(StatusFile->font());
    QString shown = path;
    const int room = std::max(40, StatusFile->width() - 12 - fm.horizontalAdvance("  "));
    for (QStringList parts = path.split('/', Qt::SkipEmptyParts); fm.horizontalAdvance(shown) > room && parts.size() > 1;) {
        parts.removeFirst();
        shown = ".../" + parts.join('/');
    }
    if (StatusFile->isVisible() && fm.horizontalAdvance(shown) > room) shown = fm.elidedText(shown, Qt::ElideLeft, room);
    StatusFile->setText("  " + shown);
    StatusTime->setText(QString::fromStdString("Pos :" + FormatTime(std::max<int64_t>(pane.Locator(), 0), rate)));
    const int64_t sel = pane.HasSelection() ? pane.SelEnd() - pane.SelStart() : 0;
    StatusSelected->setText(QString::fromStdString("Sel :" + FormatTime(sel, rate)));
    StatusMaxtime->setText(QString::fromStdString("Total : " + FormatTime(pane.MarkerB() - pane.MarkerA(), rate)));
    StatusRate->setText(QString::asprintf("%d.%3.3d KHz", int(rate / 1000), int(rate % 1000)));
    StatusBits->setText(QString::asprintf("%d Bit", wave.BitLength()));
}

void Tform_edit::ShowFromMain(const std::string& path, int volume) {
    // Already open (a file handed over by a later start): the document it
    // holds is asked about as before any other open, and its volume stays.
    if (isVisible()) {
        raise();
        activateWindow();
        if (!AskSaveFirst()) return;
    } else {
        trackbar_wavvolume->setValue(volume);
        panel_volumemeter->show();
        ApplyVolume(volume);
        show();
        raise();
        activateWindow();
    }
    const std::string ext = upper_extension(path);
    if (ext == ".WAV" || ext == ".VKD") OpenFileIntoPane(2, path);
    RefreshState();
}

bool Tform_edit::CloseQuery() {
    button_stopClick();
    LocatorTimer->stop();
    if (!AskSaveFirst()) return false;
    if (reference_loaded) UnloadPane(1);
    if (document_loaded) {
        session_->CloseDocument();
        UnloadPane(2);
    }
    active_pane = 0;
    RefreshState();
    session_->ClearUndo();
    session_->DeleteClipboardRegion();
    closing_ = true;
    hide();
    closing_ = false;
    if (OnClosed) OnClosed();
    return true;
}

}  // namespace murrel
