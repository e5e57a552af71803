// The Voice Editor's playback: play all, play selection, stop and rewind, the
// device's events, the locator's tick, the keys, the mouse on the playing
// pane and keeping the locator in view.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QMouseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <utility>

#include "editor/gui/editorpane.h"
#include "editor/gui/oscilloscope.h"
#include "shell/appstate.h"
#include "shell/dialogs.h"
#include "shell/gui/form_edit.h"
#include "ui/bitmap_button.h"

namespace murrel {

bool Tform_edit::Playing() const { return wave_out_.IsOpen(); }

void Tform_edit::button_playClick() { StartPlayback(1); }

void Tform_edit::PlaySelectionClick() { StartPlayback(2); }

void Tform_edit::StartPlayback(int mode) {
    if (wave_out_.IsOpen()) return;
    const int pane = active_pane;
    if (!(pane == 1 ? reference_loaded : pane == 2 ? document_loaded : false)) return;
    TEditorPane& view = Pane(pane);
    if (mode == 2 && !view.HasSelection()) return;
    TMMEnhancedWave& source = pane == 2 ? session_->Document() : reference_;
    play_mode = mode;
    try {
        working_.FreeWave();
        working_.Assign(source);
        working_.SetTimeFormat(TMMTimeFormats::tfSample);
        if (mode == 2) {
            // The selection as it is, cuts and all, from its start.
            working_.SetSkipList(nullptr);
            working_.SetStartPos(0);
            working_.SetEndPos(view.SelEnd());
            working_.SetStartPos(view.SelStart());
        } else {
            working_.SetStartPos(0);
            working_.SetEndPos(view.MarkerB());
            working_.SetStartPos(view.MarkerA());
        }
        ApplyEnvelope(working_);
        wave_link_.SetWave(&working_);
        scope_.FreeWave();
        scope_.Assign(source);
        scope_.SetTimeFormat(TMMTimeFormats::tfSample);
        scope_.SetSkipList(nullptr);
        scope_.SetStartPos(0);
        scope_.SetEndPos(scope_.DataSize());
        scope_.OpenFile();
    } catch (const std::exception& e) {
        wave_link_.SetWave(nullptr);
        show_error(e.what());
        return;
    }
    const int64_t length = wave_link_.StreamLength();
    if (length == 0) {
        wave_link_.SetWave(nullptr);
        PlayingState(false);
        return;
    }
    int64_t offset = 0;
    if (mode == 1) {
        int64_t locator = view.Locator();
        if (locator < view.MarkerA() || locator >= view.MarkerB()) locator = view.MarkerA();
        offset = wave_link_.StreamOffsetOf(locator);
        if (offset >= length) offset = 0;
    }
    play_start = wave_link_.FrameAt(offset);
    play_end = mode == 1 ? wave_link_.Segments().back().end() : view.SelEnd();
    locator_pos = play_start;
    last_device_pos = 0;
    stream_base_ = offset;
    playing_pane_ = pane;
    view.SetLocator(play_start);
    FollowLocator(view, play_start);
    wave_link_.SetStreamPosition(offset);
    try {
        const TWaveFormatEx* format = working_.OutputFormat();
        wave_link_.SetWaveFormat(format);
        // Short buffers keep what is queued at the device short (see kBufferMs).
        if (format && format->nBlockAlign > 0) {
            const int block = format->nBlockAlign;
            const int bytes = int(int64_t(format->nAvgBytesPerSec) * kBufferMs / 1000) / block * block;
            wave_out_.SetBufferSize(std::max(bytes, block));
        }
        stretch_.SetMaxChunkMs(kBufferMs);
        wave_out_.SetLooping(checkbox_repeat->isChecked());
        wave_out_.Start();
    } catch (const std::exception& e) {
        if (wave_out_.IsOpen()) wave_out_.Close();
        wave_link_.SetWave(nullptr);
        PlayingState(false);
        show_error(e.what());
    }
}

void Tform_edit::SeekPlayback(int64_t frame) {
    if (!wave_out_.IsOpen()) return;
    const int64_t offset = std::min(wave_link_.StreamOffsetOf(frame), std::max<int64_t>(wave_link_.StreamLength() - 1, 0));
    wave_out_.Pause();
    stream_base_ = offset;
    wave_link_.SetStreamPosition(offset);
    wave_out_.Reset();
    locator_pos = wave_link_.FrameAt(offset);
    last_device_pos = 0;
    Pane(playing_pane_).SetLocator(locator_pos);
    wave_out_.Restart();
}

void Tform_edit::button_stopClick() {
    if (wave_out_.IsOpen()) {
        LocatorTimer->stop();
        wave_out_.Pause();
        wave_out_.Stop();
        if (wave_out_.IsOpen()) wave_out_.Close();
        return;
    }
    // Idle: rewind.
    const bool loaded = active_pane == 1 ? reference_loaded : active_pane == 2 ? document_loaded : false;
    if (!loaded) return;
    TEditorPane& view = Pane(active_pane);
    if (play_mode == 2 && view.HasSelection()) view.SetLocator(view.SelStart());
    else view.SetLocator(0);
    FollowLocator(view, view.Locator());
    ShowStatus();
}

void Tform_edit::checkbox_repeatClick() {
    if (!wave_out_.IsOpen()) return;
    // The device takes the new looping at a new start from the locator.
    const int64_t at = locator_pos;
    const int mode = play_mode;
    button_stopClick();
    Pane(playing_pane_).SetLocator(at);
    if (mode == 2) {
        StartPlayback(2);
        SeekPlayback(at);
    } else {
        StartPlayback(1);
    }
}

void Tform_edit::PlayingState(bool playing) {
    button_play->setEnabled(!playing && active_pane != 0 && wave_out_.NumDevs() > 0);
    button_stop->setEnabled(active_pane != 0);
    for (const char* n : {"PDUpSelectAll", "PDDownSelectAll"})
        if (QAction* a = Item(n)) a->setEnabled(!playing && (n[2] == 'U' ? active_pane == 1 : active_pane == 2));
    button_selectall->setEnabled(!playing && active_pane == 2);
    button_selectallup->setEnabled(!playing && active_pane == 1);
}

void Tform_edit::DeviceStarted() {
    wave_out_.SetLooping(checkbox_repeat->isChecked());
    PlayingState(true);
    locator_pos = play_start;
    last_device_pos = 0;
    FollowLocator(Pane(playing_pane_), locator_pos);
    LocatorTimer->start();
}

void Tform_edit::DeviceStopped() {
    LocatorTimer->stop();
    TEditorPane& view = Pane(playing_pane_ ? playing_pane_ : 2);
    const int64_t end = play_mode == 2 ? view.SelEnd() : view.MarkerB();
    const int64_t rate = std::max<int64_t>(working_.SampleRate(), 1);
    drag_kind = 0;
    if (view.Loaded() && std::llabs(end - locator_pos) <= rate) {
        view.SetLocator(play_mode == 2 ? std::max<int64_t>(view.SelStart(), 0) : 0);
    }
    if (wave_out_.IsOpen()) wave_out_.Close();
    PlayingState(false);
    MMOscope1->Clear();
    QTimer::singleShot(0, this, [this] {
        if (wave_out_.IsOpen()) return;
        wave_link_.SetWave(nullptr);
        working_.FreeWave();
        scope_.FreeWave();
        RefreshState();
    });
}

void Tform_edit::DeviceLooped() {
    if (!checkbox_repeat->isChecked()) {
        wave_out_.Stop();
        wave_out_.SetLooping(false);
        return;
    }
    // The locator's count runs on across the loops (the tick wraps it); only
    // where Backspace goes back to moves.
    play_start = wave_link_.FrameAt(wave_link_.LoopStart());
}

void Tform_edit::LocatorTimerTick() {
    if (!wave_out_.IsOpen() || wave_out_.IsDevicePaused()) return;
    const int64_t p = wave_out_.GetRunPosition();
    // The device counts the frames it played since the start or the last
    // seek, loops included; the stretch turns them back into frames of the
    // stream, which skips the cuts, so the locator is the file frame that many
    // frames into it, wrapped at the loop's end as often as it went round.
    int64_t offset = stream_base_ + stretch_.SourceFrames(p);
    const int64_t length = wave_link_.StreamLength();
    if (wave_out_.Looping() && length > 0 && offset >= length) {
        const int64_t loop = wave_link_.LoopStart();
        offset = loop + (offset - length) % std::max<int64_t>(length - loop, 1);
    }
    locator_pos = std::min(wave_link_.FrameAt(offset), play_end);
    last_device_pos = p;
    TEditorPane& view = Pane(playing_pane_);
    if (scroll_tracking || drag_kind == 1) return;
    FollowLocator(view, locator_pos);
    view.SetLocator(locator_pos);
    FeedScope();
    StatusTime->setText(QString::fromStdString("Pos :" + FormatTime(locator_pos, working_.SampleRate())));
}

// The oscilloscope shows the frames just heard: read from the file at the
// locator, so that it follows what plays rather than the buffers queued ahead.
void Tform_edit::FeedScope() {
    const TWaveFormatEx* f = scope_.Opened() ? scope_.OutputFormat() : nullptr;
    if (!f || f->wBitsPerSample != 16 || f->nChannels == 0) return;
    const int64_t frames = TOscilloscope::kFrames;
    std::vector<int16_t> block(size_t(frames * f->nChannels));
    try {
        scope_.SetPosition(std::max<int64_t>(locator_pos - frames, 0));
        const int64_t n = scope_.ReadData(block.data(), int64_t(block.size() * 2));
        if (n > 0) MMOscope1->Feed(block.data(), n / f->nBlockAlign, f->nChannels);
    } catch (const std::exception&) {
        return;  // the display only; playback goes on
    }
    MMOscope1->update();
}

void Tform_edit::MoveLocatorByKey(int64_t frame) {
    TEditorPane& view = Pane(active_pane);
    frame = std::clamp<int64_t>(frame, 0, view.Frames());
    view.SetLocator(frame);
    FollowLocator(view, frame);
    ShowStatus();
}

bool Tform_edit::PreviewKey(int key, Qt::KeyboardModifiers modifiers) {
    if (GaugePanel->isVisible()) return true;
    const bool ctrl = modifiers & Qt::ControlModifier, shift = modifiers & Qt::ShiftModifier;
    const QKeySequence pressed(QKeyCombination(modifiers, Qt::Key(key)));
    if (!slower_key_.isEmpty() && pressed == slower_key_) {
        SetSpeed(Speed() - kSpeedStep);
        return true;
    }
    if (!faster_key_.isEmpty() && pressed == faster_key_) {
        SetSpeed(Speed() + kSpeedStep);
        return true;
    }
    if (key == Qt::Key_Space && !ctrl) {
        if (button_play->isEnabled()) button_playClick();
        else button_stopClick();
        return true;
    }
    const bool loaded = active_pane == 1 ? reference_loaded : active_pane == 2 ? document_loaded : false;
    if (!loaded) return false;
    if (Playing()) {
        if (key == Qt::Key_Backspace) SeekPlayback(play_start);
        return key == Qt::Key_Backspace || key == Qt::Key_Return || key == Qt::Key_Enter || ctrl ||
               (key >= Qt::Key_Home && key <= Qt::Key_PageDown);
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && active_pane == 2) {
        MarkPositionClick();
        return true;
    }
    TEditorPane& view = Pane(active_pane);
    const int columns = std::max(1, view.CutterView->Model().InnerWidth());
    const int64_t column = std::max<int64_t>(1, (view.ZoomEnd() - view.ZoomStart()) / columns);
    auto click = [](QAbstractButton* b, const std::function<void()>& f) {
        if (b->isEnabled()) f();
        return true;
    };
    if (ctrl) {
        switch (key) {
        case Qt::Key_C: return click(active_pane == 2 ? button_copy : button_viewcopy, [this] { button_copyClick(); });
        case Qt::Key_M: return active_pane == 2 && click(button_trim, [this] { button_trimClick(); });
        case Qt::Key_T: return active_pane == 2 && click(button_cut, [this] { button_cutClick(); });
        case Qt::Key_V: return active_pane == 2 && click(button_paste, [this] { button_pasteClick(); });
        case Qt::Key_Z:
            if (active_pane != 2) return false;
            return shift ? click(button_redo, [this] { RedoClick(); }) : click(button_undo, [this] { button_undoClick(); });
        case Qt::Key_Y: return active_pane == 2 && click(button_redo, [this] { RedoClick(); });
        default: return false;
        }
    }
    switch (key) {
    case Qt::Key_Backspace: MoveLocatorByKey(std::max<int64_t>(view.MarkerA(), 0)); return true;
    case Qt::Key_PageUp: MoveLocatorByKey(view.Locator() + 10 * column); return true;
    case Qt::Key_PageDown: MoveLocatorByKey(view.Locator() - 10 * column); return true;
    case Qt::Key_Right: MoveLocatorByKey(view.Locator() + column); return true;
    case Qt::Key_Left: MoveLocatorByKey(view.Locator() - column); return true;
    case Qt::Key_End: MoveLocatorByKey(view.Frames()); return true;
    case Qt::Key_Home: MoveLocatorByKey(0); return true;
    default: return false;
    }
}

// --- keeping the locator in view -------------------------------------------

void Tform_edit::FollowLocator(TEditorPane& view, int64_t frame) {
    if (!view.Loaded()) return;
    const TMMWaveEditorModel& m = view.CutterView->Model();
    const int64_t width = view.ZoomEnd() - view.ZoomStart();
    const uint32_t rate = std::max<uint32_t>(view.CutterView->Wave().SampleRate(), 1);
    if (m.ValueToPixel(frame) > m.Width() - 5) {
        // In a close view (the samples themselves, 200 ms or less) what was
        // just heard matters as much as what comes: the locator goes to the
        // middle rather than a fifth in.
        const bool close_in = view.CutterView->BeyondDisplayData() && width * 1000 <= 200 * int64_t(rate);
        const int64_t end = std::min(view.Frames(), frame + (close_in ? width / 2 : width * 4 / 5));
        view.ShowZoom(end - width, end);
    } else if (frame < view.ZoomStart()) {
        view.ShowZoom(frame, frame + width);
    }
}

void Tform_edit::FollowMouse(TEditorPane& view, QWidget* panel, int x, int64_t frame) {
    // Only the panels showing the zoomed range scroll with the mouse.
    TMMCustomMarkerPanel* model = panel == view.CutterView             ? &view.CutterView->Model()
                                  : panel == view.LocatorPanel         ? &view.LocatorPanel->Model()
                                  : panel == view.CutterViewTimePanel  ? &view.CutterViewTimePanel->Model()
                                                                       : nullptr;
    if (!model || !view.Loaded()) return;
    const bool right = x >= panel->width() - 5 && view.ZoomEnd() < view.Frames();
    const bool left = x < 4;
    if (!right && !left) return;
    const int64_t width = view.ZoomEnd() - view.ZoomStart();
    const int64_t start = std::clamp<int64_t>(frame - width / 2, 0, std::max<int64_t>(view.Frames() - width, 0));
    view.ShowZoom(start, start + width);
    const QPoint at(int(model->ValueToPixel(frame)), panel->height() / 2);
    const QPoint global = panel->mapToGlobal(at);
    if (MovePointer) MovePointer(global);
    else QCursor::setPos(global);
}

// --- the mouse on the playing pane -------------------------------------------
// Idle presses are the panels' own (selection, locator, list markers); while
// the pane plays, a press either grabs marker A or B by its flag or moves
// playback to where it was pressed and drags the locator from there.

bool Tform_edit::PlaybackMouse(TEditorPane& view, int pane, QWidget* panel, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease)
        return false;
    TMMCustomMarkerPanel* model = panel == view.FullViewTimePanel     ? &view.FullViewTimePanel->Model()
                                  : panel == view.FullView            ? &view.FullView->Model()
                                  : panel == view.CutterViewTimePanel ? &view.CutterViewTimePanel->Model()
                                  : panel == view.LocatorPanel        ? &view.LocatorPanel->Model()
                                  : panel == view.CutterView          ? &view.CutterView->Model()
                                                                      : nullptr;
    if (!model) return false;
    auto* e = static_cast<QMouseEvent*>(event);
    const int x = int(e->position().x());
    model->SetSize(panel->width(), panel->height());  // a hidden panel gets no resize events
    const int64_t frame = std::clamp<int64_t>(model->PixelToValue(x), 0, std::max<int64_t>(view.Frames(), 0));
    if (type == QEvent::MouseButtonPress) {
        if (e->button() != Qt::LeftButton || drag_kind != 0 || !Playing() || playing_pane_ != pane || !view.Loaded())
            return false;
        if (panel == view.LocatorPanel) {
            if (const int handle = view.LocatorPanel->RangeHandleAt(x)) {
                drag_kind = handle;
                if (pane == 2) session_->BeginMarkerDrag();
                return true;
            }
            if (view.LocatorPanel->MarkerAt(x) >= 0) return false;  // a list marker drags as when idle
        }
        drag_kind = 1;
        drag_start_ = frame;
        SeekPlayback(frame);
        ShowStatus();
        return true;
    }
    if (drag_kind == 0) return false;
    if (type == QEvent::MouseMove) {
        if (drag_kind == 1) {
            if (Playing() && !wave_out_.IsDevicePaused()) wave_out_.Pause();
            locator_pos = frame;
            view.SetLocator(frame);
            FollowMouse(view, panel, x, frame);
            StatusTime->setText(QString::fromStdString("Pos :" + FormatTime(frame, working_.SampleRate())));
        } else {
            int64_t a = view.MarkerA(), b = view.MarkerB();
            if (drag_kind == 2) a = std::min(frame, b - 1);
            else b = std::max(frame, a + 1);
            view.SetPlayRange(a, b);
            view.LocatorPanel->Model().SetHelpLocator(drag_kind == 2 ? a : b);
            view.LocatorPanel->update();
        }
        return true;
    }
    if (e->button() != Qt::LeftButton) return true;
    const int kind = std::exchange(drag_kind, 0);
    if (kind != 1) {
        MarkerDragEnd(view, pane);
        return true;
    }
    if (!Playing()) return true;
    if (checkbox_repeat->isChecked()) {
        loop_start_ = wave_link_.StreamOffsetOf(drag_start_);
        wave_link_.SetLoopStart(loop_start_);
        play_start = wave_link_.FrameAt(wave_link_.LoopStart());
    }
    // Playback waited while the locator was dragged and goes on where it is let go.
    if (wave_out_.IsDevicePaused()) SeekPlayback(frame);
    ShowStatus();
    return true;
}

void Tform_edit::MarkerDragEnd(TEditorPane& view, int pane) {
    view.LocatorPanel->Model().SetHelpLocator(-1);
    const int64_t a = view.MarkerA(), b = view.MarkerB();
    TMMEnhancedWave& wave = pane == 2 ? session_->Document() : reference_;
    const TMMTimeFormats format = wave.TimeFormat();
    wave.SetTimeFormat(TMMTimeFormats::tfSample);
    wave.SetStartPos(0);
    wave.SetEndPos(b);
    wave.SetStartPos(a);
    wave.SetTimeFormat(format);
    if (pane == 2) {
        session_->EndDrag();
        session_->MarkModified();
    }
    // Play all again over the new range, from its start. A refill still
    // running when stopped closes the device a moment later.
    button_stopClick();
    for (int i = 0; i < 50 && wave_out_.IsOpen(); ++i) {
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
        QThread::msleep(2);
    }
    view.SetLocator(a);
    StartPlayback(1);
    ShowStatus();
    RefreshState();
}

// --- the gauge --------------------------------------------------------------

void Tform_edit::set_current(int percent) {
    if (!gauge_shown_) {
        gauge_shown_ = true;
        StatusMessage->clear();
        Gauge->setValue(0);
        GaugePanel->show();
        panes_->setEnabled(false);
    }
    Gauge->setValue(std::clamp(percent, 0, 100));
    if ((percent >= 100 && !rendering_) || app().convert_cancel) HideGauge();
    process_events();
}

void Tform_edit::set_caption(const std::string& text) { GaugeCaption->setText(QString::fromStdString(text)); }

void Tform_edit::process_events() { QApplication::processEvents(); }

void Tform_edit::HideGauge() {
    if (!gauge_shown_) return;
    gauge_shown_ = false;
    GaugePanel->hide();
    panes_->setEnabled(true);
}

}  // namespace murrel
