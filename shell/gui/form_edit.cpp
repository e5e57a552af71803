#include "shell/gui/form_edit.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QDir>
#include <QVBoxLayout>

#include "editor/gui/editorpane.h"
#include "editor/gui/oscilloscope.h"
#include "player/gui/speed_control.h"
#include "player/playback_settings.h"
#include "shell/appstate.h"
#include "shell/profile.h"
#include "ui/bitmap_button.h"
#include "ui/charset.h"
#include "ui/panels.h"
#include "ui/skin.h"
#include "ui/window_texts.h"

namespace murrel {

namespace {
std::string session_folder() {
    const std::string base = app().temp_dir.empty() ? QDir::tempPath().toStdString() : app().temp_dir;
    return base;
}
}  // namespace

Tform_edit::Tform_edit(QWidget* parent, AudioBackend* backend, UiDispatcher* ui)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), wave_out_(backend, ui) {
    setObjectName("Tform_edit");
    setWindowTitle("Voice Editor");
    setWindowIcon(ui::program_icon());
    setPalette(ui::dark_palette());
    setAutoFillBackground(true);
    setStyleSheet(ui::dark_style_sheet());
    setMinimumSize(kMinWidth, kMinHeight);

    session_ = std::make_unique<TMMEditSession>(session_folder());
    session_->SetProgress(this);
    session_->OnStopPlayback = [this] { button_stopClick(); };
    session_->OnDocumentLoaded = [this] { ReloadDocument(); };
    reference_.SetTimeFormat(TMMTimeFormats::tfSample);
    // The reference plays and is copied with its own gain points.
    reference_envelope_observer_ = reference_envelope_.AddObserver([this](ObjectEvent e) {
        if (e != ObjectEvent::Changed) return;
        TMMFadeList& fades = reference_.SourceFades();
        fades.BeginUpdate();
        fades.Clear();
        for (const TMMEnvelopePoint& p : reference_envelope_.Points()) fades.AddPoint(p.x, p.y);
        fades.EndUpdate();
    });

    wave_out_.SetBufferSize(8192);
    wave_out_.SetNumBuffers(kQueueBuffers);
    wave_out_.SetDeviceID(MapperId);
    if (wave_out_.DeviceID() == InvalidId) wave_out_.SetDeviceID(0);
    wave_out_.SetCallBackMode(TMMCBMode::cmThread);
    wave_out_.SetTimeFormat(TMMTimeFormats::tfSample);
    // The speed changes between two buffers: the stretch keeps them short.
    wave_link_.SetOutput(&stretch_);
    stretch_.SetOutput(&wave_out_);
    slower_key_ = QKeySequence(QString::fromStdString(PlayerKeys{}.slower));
    faster_key_ = QKeySequence(QString::fromStdString(PlayerKeys{}.faster));
    wave_out_.OnStart = [this](TMMDSPComponent*) { DeviceStarted(); };
    wave_out_.OnStop = [this](TMMDSPComponent*) { DeviceStopped(); };
    wave_out_.OnLooping = [this](TMMDSPComponent*) { DeviceLooped(); };

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    BuildCaption();
    BuildPanes();
    BuildMenus();
    BuildSpeedbar();
    BuildStatus();

    LocatorTimer = new QTimer(this);
    LocatorTimer->setObjectName("LocatorTimer");
    LocatorTimer->setInterval(kLocatorMs);
    LocatorTimer->setTimerType(Qt::PreciseTimer);
    connect(LocatorTimer, &QTimer::timeout, this, [this] { LocatorTimerTick(); });
    qApp->installEventFilter(this);

    if (QScreen* s = QGuiApplication::primaryScreen()) {
        setMaximumSize(s->size());
        resize(std::max(kMinWidth, s->availableGeometry().width()), std::max(kMinHeight, s->availableGeometry().height()));
        move(0, 0);
    }
    RefreshState();
    hide();
}

Tform_edit::~Tform_edit() {
    qApp->removeEventFilter(this);
    reference_envelope_.RemoveObserver(reference_envelope_observer_);
    wave_out_.OnStart = wave_out_.OnStop = wave_out_.OnLooping = nullptr;
    if (wave_out_.IsOpen()) wave_out_.Close();
    wave_out_.SetInput(nullptr);
}

void Tform_edit::BuildCaption() {
    panel_captiontitle = new ui::CaptionPanel(this);
    panel_captiontitle->setObjectName("panel_captiontitle");
    panel_captiontitle->setFixedHeight(kCaptionHeight);
    panel_captiontitle->setText("  Voice Editor");
    panel_captiontitle->installEventFilter(this);
    auto make = [this](const char* name, int image, std::function<void()> handler) {
        auto* b = new ui::BitmapButton(ui::button_image(image), panel_captiontitle);
        b->setObjectName(name);
        connect(b, &QAbstractButton::clicked, this, handler);
        return b;
    };
    button_exit = make("button_exit", ui::ButtonClose, [this] { close(); });
    button_maximize = make("button_maximize", ui::ButtonMaximise, [this] { button_maximizeClick(); });
    button_minimize = make("button_minimize", ui::ButtonMinimise, [this] { showMinimized(); });
    layout()->addWidget(panel_captiontitle);
}

namespace {
// The screen's work area: the full-screen client height plus the caption
// height, since this window draws its caption itself.
QRect maximised_geometry(const QWidget* w) {
    const QScreen* s = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    if (!s) return w->geometry();
    const QRect work = s->availableGeometry();
    const int full_screen_client = work.height() - Tform_edit::kCaptionHeight;
    return {work.left(), work.top(), work.width(), full_screen_client + Tform_edit::kCaptionHeight};
}
}  // namespace

void Tform_edit::button_maximizeClick() {
    // Done by hand: without a window manager nothing would maximise a
    // frameless window, and with one it would not take the caption into account.
    if (maximised_) {
        maximised_ = false;
        setGeometry(normal_geometry_);
    } else {
        normal_geometry_ = geometry();
        maximised_ = true;
        setGeometry(maximised_geometry(this));
    }
    button_maximize->set_strip(ui::button_image(maximised_ ? ui::ButtonRestore : ui::ButtonMaximise));
}

void Tform_edit::showEvent(QShowEvent* event) {
    // Shown again from the main window: a maximised editor fills the work
    // area as it did, whatever the screen became meanwhile.
    if (maximised_) setGeometry(maximised_geometry(this));
    QWidget::showEvent(event);
}

int Tform_edit::PanePanelHeight(int client_height) const {
    return std::max(0, (client_height - speedbar->height() - StatusBar->height() - kPaneChrome) / 2);
}

void Tform_edit::ArrangePanes() {
    if (!upper_ || !lower_ || !speedbar || !StatusBar) return;
    const int panel = PanePanelHeight(height());
    const int pane = TEditorPane::kHeaderHeight + panel;
    const int w = std::max(0, width() - 2 * kPaneMargin);
    upper_->setGeometry(kPaneMargin, kPaneMargin, w, pane);
    lower_->setGeometry(kPaneMargin, kPaneMargin + pane + kPaneGap, w, pane);
    for (TEditorPane* p : {upper_, lower_}) {
        // The views are fitted to the new heights now, not at the next event.
        p->layout()->activate();
        p->CutterPanel->layout()->activate();
        p->FitViews();
    }
    if (GaugePanel && StatusBar) GaugePanel->setGeometry(StatusBar->rect());
}

void Tform_edit::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The window buttons keep their places at the right edge.
    const int w = width();
    const int top = std::max(0, (kCaptionHeight - button_exit->sizeHint().height()) / 2);
    button_exit->move(w - 45, top);
    button_maximize->move(w - 45 - 28, top);
    button_minimize->move(w - 45 - 56, top);
    for (auto* b : {button_exit, button_maximize, button_minimize}) b->resize(b->sizeHint());
    ArrangePanes();
    // The file's path is shortened to the status bar's new width.
    ShowStatus();
}

void Tform_edit::BuildPanes() {
    // No layout: ArrangePanes gives the panes their heights.
    panes_ = new QWidget(this);
    panes_->setObjectName("Panes");
    upper_ = new TEditorPane(true, panes_);
    lower_ = new TEditorPane(false, panes_);
    static_cast<QVBoxLayout*>(layout())->addWidget(panes_, 1);
    upper_->Panel_filekind->setText("  Reference");
    lower_->Panel_filekind->setText("  Edit");

    button_openupfile = PaneButton(*upper_, "button_openupfile", "Open", [this] { button_openupfileClick(); });
    button_upclose = PaneButton(*upper_, "button_upclose", "Close", [this] { ClosePane(1); });
    button_selectallup = PaneButton(*upper_, "button_selectallup", "All", [this] { SelectAllClick(); });
    button_viewcopy = PaneButton(*upper_, "button_viewcopy", "Copy", [this] { button_copyClick(); });
    button_normalrangeup = PaneButton(*upper_, "button_normalrangeup", "Full", [this] { RestoreZoomClick(); });
    button_upblocksave = PaneButton(*upper_, "button_upblocksave", "Save sel.", [] {});
    button_upblocksave->hide();

    button_opendownfile = PaneButton(*lower_, "button_opendownfile", "Open", [this] { button_opendownfileClick(); });
    button_saveas = PaneButton(*lower_, "button_saveas", "Save", [this] { button_saveasClick(); });
    button_downblocksave = PaneButton(*lower_, "button_downblocksave", "Save part", [this] { button_downblocksaveClick(); });
    button_downclose = PaneButton(*lower_, "button_downclose", "Close", [this] { ClosePane(2); });
    button_undo = PaneButton(*lower_, "button_undo", "Undo", [this] { button_undoClick(); });
    button_redo = PaneButton(*lower_, "button_redo", "Redo", [this] { RedoClick(); });
    button_redo->setToolTip("Redo");
    button_copy = PaneButton(*lower_, "button_copy", "Copy", [this] { button_copyClick(); });
    button_cut = PaneButton(*lower_, "button_cut", "Cut", [this] { button_cutClick(); });
    button_trim = PaneButton(*lower_, "button_trim", "Trim", [this] { button_trimClick(); });
    button_paste = PaneButton(*lower_, "button_paste", "Paste", [this] { button_pasteClick(); });
    button_selectall = PaneButton(*lower_, "button_selectall", "All", [this] { SelectAllClick(); });
    button_oneblank = PaneButton(*lower_, "button_oneblank", "+1 s", [this] { button_oneblankClick(); });
    button_scaleup = PaneButton(*lower_, "button_scaleup", "Vol +", [this] { button_scaleupClick(); });
    button_scaledown = PaneButton(*lower_, "button_scaledown", "Vol -", [this] { button_scaledownClick(); });
    button_reset = PaneButton(*lower_, "button_reset", "Vol 0", [this] { button_resetClick(); });
    button_normalrange = PaneButton(*lower_, "button_normalrange", "Full", [this] { RestoreZoomClick(); });
    WirePane(*upper_, 1);
    WirePane(*lower_, 2);
    WireEnvelope(*upper_, 1);
    WireEnvelope(*lower_, 2);
}

void Tform_edit::WireEnvelope(TEditorPane& pane, int index) {
    pane.SetEnvelope(index == 2 ? &session_->Envelope() : &reference_envelope_);
    // A press, a drag and the release make one undo record; a point grabbed
    // and let go where it was makes none.
    pane.VolumeView->OnEditBegin = [this, index](TMMEnvelopeView&) {
        if (index == 2) session_->BeginEnvelopeDrag();
    };
    pane.VolumeView->OnEditEnd = [this, index](TMMEnvelopeView&, bool changed) {
        if (index == 2) {
            if (changed) session_->EndDrag();
            else session_->EndSelectionDrag();
        }
        // What plays is a copy taken at the start: it starts again at the
        // locator with the new gain.
        if (changed && Playing() && playing_pane_ == index) checkbox_repeatClick();
        RefreshState();
    };
    pane.OnEnvelopePopup = [this, index](TEditorPane& p, QPoint global, int64_t frame, int32_t gain, int64_t point) {
        const TMMEnvelope* e = p.VolumeView->Envelope();
        if (!e) return;
        envelope_popup_pane_ = index;
        envelope_popup_frame_ = frame;
        envelope_popup_gain_ = gain;
        envelope_popup_point_ = point;
        Item("PUvolumepopupnew")->setEnabled(point < 0 && TMMEnvelopeView::CanAdd(*e, frame));
        Item("PUvolumepopupdelete")->setEnabled(point > 0 && point + 1 < e->Count());
        VolumePopup->popup(global);
    };
    pane.OnSplitterReleased = [this](TEditorPane&) { ArrangePanes(); };
}

void Tform_edit::ShowEnvelopeClick(int pane, bool shown) {
    Pane(pane).ShowEnvelope(shown);
    if (QAction* a = Item(pane == 2 ? "PDDownEnvelope" : "PDUpEnvelope")) a->setChecked(shown);
    ArrangePanes();
}

void Tform_edit::NewGainPointClick() {
    TEditorPane& pane = Pane(envelope_popup_pane_ == 1 ? 1 : 2);
    TMMEnvelope* e = pane.VolumeView->Envelope();
    if (!e || !TMMEnvelopeView::CanAdd(*e, envelope_popup_frame_)) return;
    if (envelope_popup_pane_ == 2) session_->RecordEnvelopeEdit();
    e->AddPoint(envelope_popup_frame_, envelope_popup_gain_);
    if (Playing() && playing_pane_ == envelope_popup_pane_) checkbox_repeatClick();
    RefreshState();
}

void Tform_edit::DeleteGainPointClick() {
    TEditorPane& pane = Pane(envelope_popup_pane_ == 1 ? 1 : 2);
    TMMEnvelope* e = pane.VolumeView->Envelope();
    if (!e || envelope_popup_point_ <= 0 || envelope_popup_point_ + 1 >= e->Count()) return;
    if (envelope_popup_pane_ == 2) session_->RecordEnvelopeEdit();
    e->DeletePoint(envelope_popup_point_);
    if (Playing() && playing_pane_ == envelope_popup_pane_) checkbox_repeatClick();
    RefreshState();
}

TMMEnvelope* Tform_edit::PlayEnvelope() {
    if (active_pane == 1) return &reference_envelope_;
    if (active_pane == 2) return &session_->Envelope();
    return nullptr;
}

void Tform_edit::ApplyEnvelope(TMMEnhancedWave& wave) {
    const TMMEnvelope* e = PlayEnvelope();
    if (!e || e->Count() < 2) return;
    TMMFadeList& fades = wave.SourceFades();
    fades.BeginUpdate();
    fades.Clear();
    for (const TMMEnvelopePoint& p : e->Points()) fades.AddPoint(p.x, p.y);
    fades.EndUpdate();
}

QToolButton* Tform_edit::PaneButton(TEditorPane& pane, const char* name, const QString& text,
                                    std::function<void()> handler) {
    auto* b = new QToolButton(pane.ButtonBar);
    b->setObjectName(name);
    b->setText(text);
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    // Narrow padding: the lower pane's sixteen commands fit an 800-pixel window.
    b->setStyleSheet(QString("QToolButton { color: %1; padding: 1px 1px; }"
                             "QToolButton:disabled { color: %2; }"
                             "QToolButton:hover { background: %3; }")
                         .arg(ui::colours::text.name(), ui::colours::text_dim.name(), ui::colours::panel_light.name()));
    // Before the closing stretch.
    pane.ButtonLayout->insertWidget(pane.ButtonLayout->count() - 1, b);
    connect(b, &QToolButton::clicked, this, handler);
    return b;
}

QAction* Tform_edit::AddItem(QMenu* menu, const char* name, const QString& text, std::function<void()> handler,
                             const QKeySequence& keys) {
    QAction* a = menu->addAction(text);
    a->setObjectName(name);
    if (!keys.isEmpty()) {
        a->setShortcut(keys);
        // The window's key preview does the work; the menu shows the key.
        a->setShortcutContext(Qt::WidgetShortcut);
    }
    connect(a, &QAction::triggered, this, [handler = std::move(handler)] { handler(); });
    items_[name] = a;
    return a;
}

QAction* Tform_edit::Item(const char* name) const {
    auto it = items_.find(name);
    return it == items_.end() ? nullptr : it->second;
}

void Tform_edit::BuildMenus() {
    auto bar = [this](TEditorPane& pane, const char* name) {
        auto* m = new QMenuBar(pane.MenuBar);
        m->setObjectName(name);
        m->setNativeMenuBar(false);
        m->setStyleSheet(QString("QMenuBar { background: transparent; color: %1; }"
                                 "QMenuBar::item:selected { background: %2; }"
                                 "QMenuBar::item:disabled { color: %3; }")
                             .arg(ui::colours::text.name(), ui::colours::panel_light.name(),
                                  ui::colours::text_dim.name()));
        pane.MenuBar->layout()->addWidget(m);
        return m;
    };
    auto menu = [](QMenuBar* bar, const char* name, const QString& text) {
        QMenu* m = bar->addMenu(text);
        m->menuAction()->setObjectName(name);
        return m;
    };
    MainMenu_up = bar(*upper_, "MainMenu_up");
    QMenu* m = menu(MainMenu_up, "PDUpFile", "&File");
    AddItem(m, "PDUpOpen", "&Open...", [this] { button_openupfileClick(); });
    AddItem(m, "PDUpClose", "&Close", [this] { ClosePane(1); });
    m = menu(MainMenu_up, "PDUpEdit", "&Edit");
    AddItem(m, "PDUpCopy", "&Copy", [this] { button_copyClick(); }, QKeySequence("Ctrl+C"));
    AddItem(m, "PDUpSelectAll", "Select a&ll", [this] { SelectAllClick(); });
    m = menu(MainMenu_up, "PDUpView", "&View");
    AddItem(m, "PDUpZoom", "&Zoom to selection", [this] { ZoomSelectedClick(); });
    AddItem(m, "PDUpRestoreZoomed", "&Restore zoom", [this] { RestoreZoomClick(); });
    m->addSeparator();
    AddItem(m, "PDUpEnvelope", "&Gain envelope", [this] { ShowEnvelopeClick(1, Item("PDUpEnvelope")->isChecked()); },
            QKeySequence("Ctrl+E"))
        ->setCheckable(true);

    MainMenu_down = bar(*lower_, "MainMenu_down");
    m = menu(MainMenu_down, "PDDownFile", "&File");
    AddItem(m, "PDDownOpen", "&Open...", [this] { button_opendownfileClick(); });
    AddItem(m, "PDDownSave", "Save &as...", [this] { button_saveasClick(); });
    AddItem(m, "PDDownSaveSelect", "Save &selection as...", [this] { button_downblocksaveClick(); });
    AddItem(m, "PDDownClose", "&Close", [this] { ClosePane(2); });
    m = menu(MainMenu_down, "PDDownEdit", "&Edit");
    AddItem(m, "PDDownUndo", "&Undo", [this] { button_undoClick(); }, QKeySequence("Ctrl+Z"));
    AddItem(m, "PDDownRedo", "&Redo", [this] { RedoClick(); }, QKeySequence("Ctrl+Shift+Z"));
    m->addSeparator();
    AddItem(m, "PDDownCopy", "&Copy", [this] { button_copyClick(); }, QKeySequence("Ctrl+C"));
    AddItem(m, "PDDownCut", "Cu&t", [this] { button_cutClick(); }, QKeySequence("Ctrl+T"));
    AddItem(m, "PDDownTrim", "T&rim", [this] { button_trimClick(); }, QKeySequence("Ctrl+M"));
    AddItem(m, "PDDownPaste", "&Paste", [this] { button_pasteClick(); }, QKeySequence("Ctrl+V"));
    AddItem(m, "PDDownSelectAll", "Select a&ll", [this] { SelectAllClick(); });
    m = menu(MainMenu_down, "PDDownTool", "&Tools");
    AddItem(m, "PDDownInsert1Sec", "&Insert 1 second of silence", [this] { button_oneblankClick(); });
    AddItem(m, "PDDownUpVolume", "Volume u&p", [this] { button_scaleupClick(); });
    AddItem(m, "PDDownDownVolume", "Volume do&wn", [this] { button_scaledownClick(); });
    AddItem(m, "PDDownResetVolume", "&Reset volume", [this] { button_resetClick(); });
    m = menu(MainMenu_down, "PDDownView", "&View");
    AddItem(m, "PDDownZoom", "&Zoom to selection", [this] { ZoomSelectedClick(); });
    AddItem(m, "PDDownRestoreZoomed", "&Restore zoom", [this] { RestoreZoomClick(); });
    m->addSeparator();
    AddItem(m, "PDDownEnvelope", "&Gain envelope",
            [this] { ShowEnvelopeClick(2, Item("PDDownEnvelope")->isChecked()); }, QKeySequence("Ctrl+E"))
        ->setCheckable(true);

    SelectionPopup = new QMenu(this);
    SelectionPopup->setObjectName("SelectionPopup");
    AddItem(SelectionPopup, "PUSelectionPopupPlayall", "P&lay to End", [this] { button_playClick(); });
    AddItem(SelectionPopup, "PUSelectionPopupPlay", "&Play Selected", [this] { PlaySelectionClick(); });
    AddItem(SelectionPopup, "PUSelectionPopupStop", "&Stop", [this] { button_stopClick(); });
    AddItem(SelectionPopup, "PUSelectionpopup_marking", "&Mark Position", [this] { MarkPositionClick(); });
    AddItem(SelectionPopup, "PUSelectionPopupzoom", "&Zoom Selected", [this] { ZoomSelectedClick(); });
    AddItem(SelectionPopup, "PUSelectionpopup_SelectAll", "Select/ Discard &All", [this] { SelectAllClick(); });
    AddItem(SelectionPopup, "PUSelectionpopup_copy", "&Copy Block", [this] { button_copyClick(); });
    AddItem(SelectionPopup, "PUSelectionpopup_cut", "C&ut Block", [this] { button_cutClick(); });
    AddItem(SelectionPopup, "PUSelectionpopup_trim", "&Trim Block", [this] { button_trimClick(); });
    AddItem(SelectionPopup, "PUSelectionpopup_Paste", "Paste &Block", [this] { button_pasteClick(); });
    MarkerPopup = new QMenu(this);
    MarkerPopup->setObjectName("MarkerPopup");
    AddItem(MarkerPopup, "PUMarkerpopupAddMarker", "Add &Marker", [this] { AddMarkerAt(popup_frame_); });
    AddItem(MarkerPopup, "PUMarkerpopupdelete", "&Delete Marker", [this] { DeleteMarkerAt(popup_frame_); });
    AddItem(MarkerPopup, "PUMarkerpopupalldelete", "&All Delete Marker", [this] { DeleteAllMarkersClick(); });
    VolumePopup = new QMenu(this);
    VolumePopup->setObjectName("VolumePopup");
    AddItem(VolumePopup, "PUvolumepopupnew", "&New Point", [this] { NewGainPointClick(); });
    AddItem(VolumePopup, "PUvolumepopupdelete", "&Delete Point", [this] { DeleteGainPointClick(); });
}

void Tform_edit::BuildSpeedbar() {
    speedbar = new ui::SkinPanel(ui::skin_image(ui::SkinBottomFill), ui::SkinPanel::Fill::Tile, this);
    speedbar->setObjectName("speedbar");
    speedbar->setFixedHeight(51);
    auto* h = new QHBoxLayout(speedbar);
    h->setContentsMargins(10, 4, 10, 4);
    h->setSpacing(6);
    auto make = [this, h](const char* name, int image) {
        auto* b = new ui::BitmapButton(ui::button_image(image), speedbar);
        b->setObjectName(name);
        b->setFocusPolicy(Qt::NoFocus);
        h->addWidget(b);
        return b;
    };
    button_play = make("button_play", ui::ButtonPlay);
    button_pause = make("button_pause", ui::ButtonPause);
    button_pause->hide();
    button_stop = make("button_stop", ui::ButtonStop);
    connect(button_play, &QAbstractButton::clicked, this, [this] { button_playClick(); });
    connect(button_stop, &QAbstractButton::clicked, this, [this] { button_stopClick(); });
    checkbox_repeat = new QCheckBox("Repeat", speedbar);
    checkbox_repeat->setObjectName("checkbox_repeat");
    checkbox_repeat->setFocusPolicy(Qt::NoFocus);
    connect(checkbox_repeat, &QCheckBox::clicked, this, [this] { checkbox_repeatClick(); });
    h->addSpacing(10);
    h->addWidget(checkbox_repeat);
    h->addSpacing(20);
    auto* volume = new QWidget(speedbar);
    volume->setFixedSize(160, 30);
    trackbar_wavvolume = new QSlider(Qt::Horizontal, volume);
    trackbar_wavvolume->setObjectName("trackbar_wavvolume");
    trackbar_wavvolume->setRange(0, 65536);
    trackbar_wavvolume->setValue(65536);
    trackbar_wavvolume->setGeometry(0, 0, 160, 20);
    trackbar_wavvolume->setFocusPolicy(Qt::NoFocus);
    panel_volumemeter = new ui::FilledPanel(ui::colours::accent, volume);
    panel_volumemeter->setObjectName("panel_volumemeter");
    panel_volumemeter->setGeometry(3, 22, 1, 3);
    panel_volumemeter->setCursor(Qt::PointingHandCursor);
    panel_volumemeter->setToolTip("Click to lower the volume to here");
    panel_volumemeter->installEventFilter(this);
    connect(trackbar_wavvolume, &QSlider::sliderPressed, panel_volumemeter, &QWidget::hide);
    connect(trackbar_wavvolume, &QSlider::valueChanged, this, &Tform_edit::ApplyVolume);
    connect(trackbar_wavvolume, &QSlider::sliderReleased, this, [this] {
        panel_volumemeter->show();
        ApplyVolume(trackbar_wavvolume->value());
    });
    h->addWidget(volume);
    h->addSpacing(20);
    speed_control = new SpeedControl(speedbar);
    speed_control->OnStep = [this](int step) { SetSpeed(Speed() + step); };
    speed_control->show_speed(Speed());
    h->addWidget(speed_control);
    h->addStretch(1);
    ApplyVolume(trackbar_wavvolume->value());
    MMOscope1 = new TOscilloscope(speedbar);
    h->addWidget(MMOscope1);
    layout()->addWidget(speedbar);
}

void Tform_edit::SetSpeed(int percent) {
    // The stretch reads it at its next buffer: no reset, no break.
    stretch_.SetSpeed(percent);
    if (speed_control) speed_control->show_speed(Speed());
    if (settings_path_.empty()) return;
    try {
        ProfileFile ini(settings_path_);
        write_window_speed(ini, "EditSpeed", Speed());
    } catch (const ProfileWriteError&) {
        // A read-only INI file costs the remembered speed, never the playback.
    }
}

void Tform_edit::UseSettingsFile(const std::string& ini_path) {
    settings_path_.clear();  // no write-back while reading
    const ProfileFile ini(ini_path);
    SetSpeed(read_window_speed(ini, "EditSpeed"));
    const PlayerKeys keys = read_player_keys(ini);
    slower_key_ = QKeySequence(QString::fromStdString(keys.slower));
    faster_key_ = QKeySequence(QString::fromStdString(keys.faster));
    settings_path_ = ini_path;
}

void Tform_edit::ApplyVolume(int position) {
    const uint32_t v = uint32_t(std::clamp(position, 0, 65535));
    if (SetMainVolume) SetMainVolume(v | (v << 16));
    if (wave_out_.IsOpen()) wave_out_.SetVolume(v | (v << 16));
    const int width = int(double(position) / 65536.0 * (trackbar_wavvolume->width() - 20));
    panel_volumemeter->resize(std::max(1, width), panel_volumemeter->height());
}

void Tform_edit::panel_volumemeterClick(int x) {
    const int width = trackbar_wavvolume->width();
    if (width <= 0) return;
    const int position = int(double(x) / double(width) * 100 * 655.36);
    trackbar_wavvolume->setValue(position);
    panel_volumemeter->show();
    ApplyVolume(trackbar_wavvolume->value());
}

void Tform_edit::BuildStatus() {
    auto* status = new ui::FilledPanel(ui::colours::panel, this);
    StatusBar = status;
    status->setObjectName("StatusBar");
    status->setFixedHeight(22);
    // The gauge covers the status bar while it runs rather than taking a row
    // of its own, so that the panes keep their heights.
    GaugePanel = new ui::FilledPanel(ui::colours::panel, status);
    GaugePanel->setObjectName("GaugePanel");
    auto* g = new QHBoxLayout(GaugePanel);
    g->setContentsMargins(8, 1, 8, 1);
    GaugeCaption = new QLabel("Building", GaugePanel);
    Gauge = new QProgressBar(GaugePanel);
    Gauge->setObjectName("Gauge");
    Gauge->setRange(0, 100);
    Gauge->setFixedHeight(16);
    button_Cancel = new QPushButton("Cancel", GaugePanel);
    button_Cancel->setFixedHeight(20);
    button_Cancel->setObjectName("button_Cancel");
    connect(button_Cancel, &QPushButton::clicked, this, [] { app().convert_cancel = true; });
    g->addWidget(GaugeCaption);
    g->addWidget(Gauge, 1);
    g->addWidget(button_Cancel);
    GaugePanel->hide();

    auto* h = new QHBoxLayout(status);
    h->setContentsMargins(4, 1, 4, 1);
    h->setSpacing(2);
    auto cell = [status, h](const char* name, int width) {
        auto* l = new QLabel(status);
        l->setObjectName(name);
        l->setFrameShape(QFrame::StyledPanel);
        l->setFrameShadow(QFrame::Sunken);
        if (width > 0) l->setFixedWidth(width);
        // The stretching cell takes what the others leave, whatever its text:
        // its text is fitted to its width, not the other way round.
        else l->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        l->setStyleSheet(QString("color: %1; padding: 0 4px;").arg(ui::colours::text.name()));
        h->addWidget(l, width > 0 ? 0 : 1);
        return l;
    };
    StatusFile = cell("StatusFile", 0);
    StatusTime = cell("StatusTime", 130);
    StatusSelected = cell("StatusSelected", 130);
    StatusMaxtime = cell("StatusMaxtime", 140);
    StatusRate = cell("StatusRate", 90);
    StatusBits = cell("StatusBits", 60);
    StatusMessage = cell("StatusMessage", 160);
    layout()->addWidget(status);
}

void Tform_edit::FormCreate(const WindowTexts& texts) {
    // The menus drop down as windows of their own, which take no font from
    // their menu bar: they take the menu bars' character set themselves.
    for (QMenuBar* bar : {MainMenu_up, MainMenu_down}) {
        ui::apply_charset(bar, texts.charset);
        for (QMenu* menu : bar->findChildren<QMenu*>()) ui::apply_charset(menu, texts.charset);
    }
    ui::apply_window_texts(this, texts);
    // The window's own controls found by name: the pop-ups are its children.
    ui::apply_window_texts(SelectionPopup, texts);
    ui::apply_window_texts(MarkerPopup, texts);
    ui::apply_window_texts(VolumePopup, texts);
}

bool Tform_edit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == StatusBar && event->type() == QEvent::Resize) GaugePanel->setGeometry(StatusBar->rect());
    if (watched == panel_volumemeter && event->type() == QEvent::MouseButtonPress) {
        auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() == Qt::LeftButton) panel_volumemeterClick(int(e->position().x()));
        return true;
    }
    // A maximised window stays where it is.
    if (watched == panel_captiontitle && maximised_ &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseMove))
        return true;
    if (watched == panel_captiontitle && event->type() == QEvent::MouseButtonDblClick) {
        button_maximizeClick();
        return true;
    }
    if (event->type() == QEvent::KeyPress && isVisible() && isActiveWindow()) {
        auto* w = qobject_cast<QWidget*>(watched);
        if (w && w->window() == this) {
            auto* k = static_cast<QKeyEvent*>(event);
            // Ctrl+E: the active pane's envelope view, also while playing.
            if (k->key() == Qt::Key_E && k->modifiers() == Qt::ControlModifier && !GaugePanel->isVisible()) {
                if (active_pane != 0) ShowEnvelopeClick(active_pane, !Pane(active_pane).EnvelopeShown());
                return true;
            }
            if (PreviewKey(k->key(), k->modifiers())) return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Tform_edit::closeEvent(QCloseEvent* event) {
    if (closing_ || !CloseQuery()) {
        event->ignore();
        return;
    }
    event->accept();
}

}  // namespace murrel
