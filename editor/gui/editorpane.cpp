#include "editor/gui/editorpane.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QSplitter>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <cmath>

#include "ui/accessible.h"
#include "ui/skin.h"

namespace murrel {

namespace {
constexpr int64_t kEmptyRange = 44100;

QString time_text(int64_t frames, uint32_t rate) {
    const int64_t ms = rate ? std::max<int64_t>(frames, 0) * 1000 / rate : 0;
    if (ms < 3600000) return QString::asprintf("%d:%2.2d.%3.3d", int(ms / 60000), int(ms / 1000 % 60), int(ms % 1000));
    return QString::asprintf("%d:%2.2d:%2.2d.%3.3d", int(ms / 3600000), int(ms / 60000 % 60), int(ms / 1000 % 60),
                             int(ms % 1000));
}
const QColor kActiveFrame(0, 0, 255), kInactiveFrame(0x80, 0x80, 0x80);
const QColor kActiveView(0, 0, 0), kInactiveView(0xC0, 0xC0, 0xC0);

QString named(const char* base, bool upper) { return QString(base) + (upper ? "_up" : ""); }
}  // namespace

TEditorPane::TEditorPane(bool upper, QWidget* parent) : QWidget(parent), Upper(upper) {
    setObjectName(upper ? "EditorPane_up" : "EditorPane_down");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Titlepanel = new QWidget(this);
    Titlepanel->setObjectName(upper ? "Titlepanel_up" : "Titlepanel");
    Titlepanel->setFixedHeight(26);
    TitleLayout = new QHBoxLayout(Titlepanel);
    TitleLayout->setContentsMargins(2, 0, 2, 0);
    TitleLayout->setSpacing(2);
    Panel_filekind = new QLabel(Titlepanel);
    Panel_filekind->setObjectName(upper ? "Panel_filekindup" : "Panel_filekinddown");
    Panel_filekind->setMinimumWidth(90);
    Panel_filekind->setStyleSheet(QString("color: %1; font-weight: bold;").arg(ui::colours::accent.name()));
    MenuBar = new QWidget(Titlepanel);
    MenuBar->setObjectName(upper ? "MenuBar_up" : "MenuBar_down");
    MenuBar->setLayout(new QHBoxLayout);
    MenuBar->layout()->setContentsMargins(0, 0, 0, 0);
    Panel_filename = new QLabel(Titlepanel);
    Panel_filename->setObjectName(upper ? "panel_upfilename" : "Panel_filename");
    Panel_filename->setStyleSheet(QString("color: %1;").arg(ui::colours::text.name()));
    TitleLayout->addWidget(Panel_filekind);
    TitleLayout->addWidget(MenuBar);
    TitleLayout->addStretch(1);
    TitleLayout->addWidget(Panel_filename);
    TitleLayout->addSpacing(8);
    layout->addWidget(Titlepanel);
    ButtonBar = new QWidget(this);
    ButtonBar->setObjectName(upper ? "ButtonBar_up" : "ButtonBar");
    ButtonBar->setFixedHeight(kHeaderHeight - 26);
    ButtonLayout = new QHBoxLayout(ButtonBar);
    ButtonLayout->setContentsMargins(2, 0, 2, 0);
    ButtonLayout->setSpacing(1);
    ButtonLayout->addStretch(1);
    layout->addWidget(ButtonBar);

    CutterPanel = new QFrame(this);
    CutterPanel->setObjectName(upper ? "cutterpanel_up" : "CutterPanel");
    CutterPanel->setFrameShape(QFrame::Box);
    CutterPanel->setLineWidth(kFrameWidth);
    CutterPanel->setAutoFillBackground(true);
    layout->addWidget(CutterPanel, 1);
    auto* inner = new QVBoxLayout(CutterPanel);
    inner->setContentsMargins(kFrameWidth, kFrameWidth, kFrameWidth, kFrameWidth);
    inner->setSpacing(0);
    ViewSplitter = new QSplitter(Qt::Vertical, CutterPanel);
    ViewSplitter->setObjectName(named("ViewSplitter", upper));
    ViewSplitter->setChildrenCollapsible(false);
    ViewSplitter->setHandleWidth(kHandleWidth);
    inner->addWidget(ViewSplitter, 1);

    auto* overview = new QWidget(ViewSplitter);
    overview->setObjectName(named("OverviewPanel", upper));
    auto* ov = new QVBoxLayout(overview);
    ov->setContentsMargins(0, 0, 0, 0);
    ov->setSpacing(0);
    auto* zoom = new QWidget(ViewSplitter);
    zoom->setObjectName(named("ZoomPanel", upper));
    auto* zv = new QVBoxLayout(zoom);
    zv->setContentsMargins(0, 0, 0, 0);
    zv->setSpacing(0);

    // Each view gets its reading before it is named (see ui/accessible.h).
    auto readable = [this](QWidget* w, QAccessible::Role role) {
        ui::set_readout(w, role, [this, w] { return Readout(w); });
    };
    FullViewTimePanel = new TMMTimePanel(overview);
    readable(FullViewTimePanel, QAccessible::StaticText);
    FullViewTimePanel->setObjectName(named("FullViewTimePanel", upper));
    FullViewTimePanel->setFixedHeight(kRulerHeight);
    FullView = new TMMWaveEditor(overview);
    readable(FullView, QAccessible::Chart);
    FullView->setObjectName(named("FullView", upper));
    FullView->setMinimumHeight(kOverviewMin - kRulerHeight);
    ov->addWidget(FullViewTimePanel);
    ov->addWidget(FullView, 1);
    CutterViewTimePanel = new TMMTimePanel(zoom);
    readable(CutterViewTimePanel, QAccessible::StaticText);
    CutterViewTimePanel->setObjectName(named("CutterViewTimePanel", upper));
    CutterViewTimePanel->setFixedHeight(kRulerHeight);
    CutterViewTimePanel->Model().ShowMsec = true;
    FullViewTimePanel->Model().ShowMsec = true;
    LocatorPanel = new TMMMarkerPanel(zoom);
    readable(LocatorPanel, QAccessible::StaticText);
    LocatorPanel->setObjectName(named("LocatorPanel", upper));
    LocatorPanel->setFixedHeight(kMarkerStripHeight);
    CutterView = new TMMWaveEditor(zoom);
    readable(CutterView, QAccessible::Chart);
    CutterView->setObjectName(upper ? "cutterview_up" : "CutterView");
    CutterView->setMinimumHeight(kZoomedViewMin);
    zv->addWidget(CutterViewTimePanel);
    zv->addWidget(LocatorPanel);
    zv->addWidget(CutterView, 1);
    VolumeView = new TMMEnvelopeView(ViewSplitter);
    readable(VolumeView, QAccessible::Chart);
    VolumeView->setObjectName(named("VolumeView", upper));
    VolumeView->setMinimumHeight(kEnvelopeMin);
    ViewSplitter->addWidget(overview);
    ViewSplitter->addWidget(zoom);
    ViewSplitter->addWidget(VolumeView);
    ViewSplitter->setStretchFactor(0, 0);
    ViewSplitter->setStretchFactor(1, 1);
    ViewSplitter->setStretchFactor(2, 0);
    FullViewSplitter = ViewSplitter->handle(1);
    FullViewSplitter->setObjectName(named("FullViewSplitter", upper));
    VolumeViewSplitter = ViewSplitter->handle(2);
    VolumeViewSplitter->setObjectName(named("VolumeViewSplitter", upper));
    for (QSplitterHandle* h : {FullViewSplitter, VolumeViewSplitter}) {
        h->installEventFilter(this);
        h->setToolTip("Drag to share the height between the views");
    }
    VolumeView->hide();
    ViewSplitter->setSizes({kOverviewMin + 20, 200, 0});
    ScrollPanel = new TMMScrollPanel(CutterPanel);
    ScrollPanel->setObjectName(named("ScrollPanel", upper));
    ScrollPanel->setFixedHeight(kScrollHeight);
    inner->addWidget(ScrollPanel);
    NameViews();

    if (!upper) {
        CutterView->Model().DrawGridX = true;
        CutterView->Model().SnapToGrid = true;
        LocatorPanel->Model().SnapToGrid = true;
    }
    CutterView->Model().AutoZoom = false;
    EachPanel([this](QWidget* w, TMMCustomMarkerPanel& m) {
        w->installEventFilter(this);
        m.OnLocatorChanged = [this](TMMCustomMarkerPanel& p) {
            if (!syncing_) ShareLocator(p.Locator());
        };
    });
    auto selected = [this](TMMWaveEditorModel& from, int64_t s, int64_t e) {
        if (syncing_) return;
        TMMWaveEditor* other = &from == &FullView->Model() ? CutterView : FullView;
        syncing_ = true;
        other->Model().SetSelection(s, e);
        other->update();
        syncing_ = false;
        ReadoutsChanged();
        if (OnSelectionChanged) OnSelectionChanged(*this);
    };
    for (TMMWaveEditor* v : {FullView, CutterView}) {
        v->Model().OnSelecting = selected;
        v->Model().OnSelectEnd = selected;
    }
    // The zoomed view scrolled by a drag at its edge: the rest follows.
    CutterView->Model().OnRangeChanged = [this](TMMCustomMarkerPanel&, int64_t min, int64_t max) {
        if (syncing_) return;
        syncing_ = true;
        CutterViewTimePanel->Model().SetDisplayRange(min, max);
        LocatorPanel->Model().SetDisplayRange(min, max);
        ScrollPanel->SetSlider(min, max);
        CutterViewTimePanel->update();
        LocatorPanel->update();
        syncing_ = false;
    };
    ScrollPanel->OnTrack = [this](TMMScrollPanel&, int64_t min, int64_t max) { ShowZoom(min, max); };
    ScrollPanel->OnTrackEnd = ScrollPanel->OnTrack;
    ScrollPanel->OnTrackSize = ScrollPanel->OnTrack;
    SetActive(false);
    Unload();
}

template <class F>
void TEditorPane::EachPanel(F f) {
    f(FullViewTimePanel, FullViewTimePanel->Model());
    f(FullView, FullView->Model());
    f(CutterViewTimePanel, CutterViewTimePanel->Model());
    f(LocatorPanel, LocatorPanel->Model());
    f(CutterView, CutterView->Model());
    f(VolumeView, VolumeView->Model());
}

void TEditorPane::Load(const TMMEnhancedWave& wave, TMMMarkerList* markers) {
    Unload();
    try {
        FullView->SetWave(&wave);
        CutterView->SetWave(&wave);
    } catch (...) {
        Unload();
        throw;
    }
    frames_ = FullView->Model().RangeMaxX();
    const uint32_t rate = FullView->Wave().SampleRate();
    syncing_ = true;
    EachPanel([&](QWidget*, TMMCustomMarkerPanel& m) {
        m.Markers = markers;
        m.SetRangeX(0, frames_);
    });
    for (TMMTimePanel* t : {FullViewTimePanel, CutterViewTimePanel}) {
        t->Model().SampleRate = rate;
        t->Model().GridStepsX = 5;
    }
    FullViewTimePanel->Model().SetDisplayRange(0, frames_);
    FullView->SetDisplayRange(0, frames_);
    ScrollPanel->SetRange(0, frames_);
    syncing_ = false;
    ShowZoom(0, frames_);
    SetPlayRange(wave.StartPos(), wave.EndPos() > 0 ? wave.EndPos() : frames_);
    SetLocator(FullView->Model().Locator());
    loaded_ = true;
    FitEnvelope(wave);
    VolumeView->SetEnvelope(envelope_);
    VolumeView->SetDisplayRange(ZoomStart(), ZoomEnd());
    ReadoutsChanged();
    update();
}

void TEditorPane::Unload() {
    loaded_ = false;
    frames_ = 0;
    VolumeView->SetEnvelope(nullptr);
    syncing_ = true;
    FullView->SetWave(nullptr);
    CutterView->SetWave(nullptr);
    EachPanel([](QWidget* w, TMMCustomMarkerPanel& m) {
        m.Markers = nullptr;
        m.SetRangeX(0, kEmptyRange);
        m.SetDisplayRange(0, kEmptyRange);
        m.SetLocator(-1);
        m.SetMarkerA(-1);
        m.SetMarkerB(-1);
        w->update();
    });
    FullView->Model().SetSelection(-1, -1);
    CutterView->Model().SetSelection(-1, -1);
    ScrollPanel->SetRange(0, kEmptyRange);
    ScrollPanel->SetSlider(0, kEmptyRange);
    ScrollPanel->SetLocator(-1);
    ScrollPanel->SetCaption("");
    Panel_filename->clear();
    syncing_ = false;
    ReadoutsChanged();
}

void TEditorPane::Invalidate() {
    if (!loaded_) return;
    FullView->SetDisplayRange(FullView->Model().DispMinX(), FullView->Model().DispMaxX());
    CutterView->SetDisplayRange(ZoomStart(), ZoomEnd());
}

void TEditorPane::ShareLocator(int64_t frame) {
    SetLocator(frame);
    if (OnLocatorPressed) OnLocatorPressed(*this, Locator());
}

void TEditorPane::SetLocator(int64_t frame) {
    syncing_ = true;
    EachPanel([frame](QWidget* w, TMMCustomMarkerPanel& m) {
        if (m.Locator() != frame) {
            m.SetLocator(frame);
            w->update();
        }
    });
    ScrollPanel->SetLocator(frame);
    syncing_ = false;
    ReadoutsChanged();
}

void TEditorPane::SetSelection(int64_t start, int64_t end) {
    syncing_ = true;
    for (TMMWaveEditor* v : {FullView, CutterView}) {
        v->Model().SetSelection(start, end);
        v->update();
    }
    syncing_ = false;
    ReadoutsChanged();
}

void TEditorPane::SetPlayRange(int64_t a, int64_t b) {
    syncing_ = true;
    for (TMMWaveEditor* v : {FullView, CutterView}) v->Model().SetPlayRange(a, b);
    EachPanel([a, b](QWidget* w, TMMCustomMarkerPanel& m) {
        if (dynamic_cast<TMMWaveEditorModel*>(&m) == nullptr) {
            m.SetMarkerA(a);
            m.SetMarkerB(b);
        }
        w->update();
    });
    syncing_ = false;
}

void TEditorPane::ShowZoom(int64_t min, int64_t max) {
    if (syncing_) return;
    syncing_ = true;
    CutterView->SetDisplayRange(min, max);
    min = CutterView->Model().DispMinX();
    max = CutterView->Model().DispMaxX();
    CutterViewTimePanel->Model().SetDisplayRange(min, max);
    LocatorPanel->Model().SetDisplayRange(min, max);
    VolumeView->SetDisplayRange(min, max);
    ScrollPanel->SetSlider(min, max);
    const uint32_t rate = std::max<uint32_t>(CutterViewTimePanel->Model().SampleRate, 1);
    const int64_t ms = (max - min) * 1000 / rate;
    ScrollPanel->SetCaption(QString::asprintf("%d:%2.2d.%3.3d", int(ms / 60000), int(ms / 1000 % 60), int(ms % 1000)));
    for (QWidget* w : std::initializer_list<QWidget*>{CutterView, CutterViewTimePanel, LocatorPanel, VolumeView})
        w->update();
    syncing_ = false;
    ReadoutsChanged();
}

void TEditorPane::KeepVisible(int64_t frame) {
    const TMMWaveEditorModel& m = CutterView->Model();
    const int64_t width = ZoomEnd() - ZoomStart();
    const int64_t pixel = m.ValueToPixel(frame);
    if (pixel > m.Width() - 5) {
        const int64_t end = std::min(frames_, frame + width * 4 / 5);
        ShowZoom(end - width, end);
    } else if (frame < ZoomStart()) {
        ShowZoom(frame, frame + width);
    }
}

void TEditorPane::SetActive(bool active) {
    QPalette p = CutterPanel->palette();
    p.setColor(QPalette::WindowText, active ? kActiveFrame : kInactiveFrame);
    p.setColor(QPalette::Window, ui::colours::panel);
    CutterPanel->setPalette(p);
    for (TMMWaveEditor* v : {FullView, CutterView}) {
        v->Colors.background = active ? kActiveView : kInactiveView;
        v->update();
    }
}

TPaneViewHeights TEditorPane::FitViewHeights(int space, TPaneViewHeights wanted, bool envelope_shown) {
    space = std::max(space, 0);
    const int zoom_min = kZoomedViewMin + kRulerHeight + kMarkerStripHeight;
    const int envelope_min = envelope_shown ? kEnvelopeMin : 0;
    TPaneViewHeights h{std::max(wanted.overview, kOverviewMin), 0,
                       envelope_shown ? std::max(wanted.envelope, kEnvelopeMin) : 0};
    if (space < kOverviewMin + zoom_min + envelope_min) {
        // Too little room for every minimum: each part keeps its share of it.
        const int total = kOverviewMin + zoom_min + envelope_min;
        h.overview = space * kOverviewMin / total;
        h.envelope = space * envelope_min / total;
        h.zoom = space - h.overview - h.envelope;
        return h;
    }
    int short_by = h.overview + zoom_min + h.envelope - space;
    if (short_by > 0) {
        const int from_envelope = std::min(short_by, h.envelope - envelope_min);
        h.envelope -= from_envelope;
        short_by -= from_envelope;
        h.overview -= std::min(short_by, h.overview - kOverviewMin);
    }
    h.zoom = space - h.overview - h.envelope;
    return h;
}

TPaneViewHeights TEditorPane::ViewHeights() const {
    const QList<int> sizes = ViewSplitter->sizes();
    return {sizes.value(0), sizes.value(1), EnvelopeShown() ? sizes.value(2) : 0};
}

void TEditorPane::FitViews() {
    const bool shown = EnvelopeShown();
    const int space = ViewSplitter->height() - kHandleWidth * (shown ? 2 : 1);
    const TPaneViewHeights h = FitViewHeights(space, ViewHeights(), shown);
    if (h != ViewHeights()) ViewSplitter->setSizes({h.overview, h.zoom, h.envelope});
}

bool TEditorPane::EnvelopeShown() const { return !VolumeView->isHidden(); }

void TEditorPane::ShowEnvelope(bool shown) {
    if (shown == EnvelopeShown()) return;
    TPaneViewHeights h = ViewHeights();
    if (shown) {
        // The zoomed view makes the room; it keeps its minimum.
        VolumeView->show();
        h.envelope = envelope_height_;
        h.zoom -= envelope_height_ + kHandleWidth;
    } else {
        envelope_height_ = std::max(h.envelope, kEnvelopeMin);
        VolumeView->hide();
        h.zoom += h.envelope + kHandleWidth;
        h.envelope = 0;
    }
    ViewSplitter->setSizes({h.overview, h.zoom, h.envelope});
    FitViews();
    ReadoutsChanged();
}

void TEditorPane::FitEnvelope(const TMMEnhancedWave& wave) {
    if (!envelope_) return;
    std::vector<TMMEnvelopePoint> points;
    for (const TMMFadeRecord& f : wave.SourceFades().Items()) points.push_back({f.position, f.value, false});
    // An envelope already holding the wave's gain stays untouched: every
    // change of it counts as an edit of the document.
    if (envelope_->RangeMinX() == 0 && envelope_->RangeMaxX() == frames_ && envelope_->Points() == points) return;
    envelope_->BeginUpdate();
    envelope_->SetBaseY(TMMEnhancedWave::kUnityGain);
    envelope_->SetRange(0, frames_, 0, 2 * TMMEnhancedWave::kUnityGain);
    if (points.size() >= 2) envelope_->SetPoints(std::move(points));
    else envelope_->Reset();
    envelope_->EndUpdate();
}

void TEditorPane::SetEnvelope(TMMEnvelope* envelope) {
    envelope_ = envelope;
    if (loaded_) VolumeView->SetEnvelope(envelope);
}

void TEditorPane::NameViews() {
    const QString file = Upper ? "the file to be referenced" : "the file to be edited";
    FullView->setAccessibleName("Overview of " + file);
    CutterView->setAccessibleName("Zoomed view of " + file);
    FullViewTimePanel->setAccessibleName("Time ruler of the overview of " + file);
    CutterViewTimePanel->setAccessibleName("Time ruler of the zoomed view of " + file);
    LocatorPanel->setAccessibleName("Markers of " + file);
    VolumeView->setAccessibleName("Gain envelope of " + file);
    FullView->setAccessibleDescription("The whole file; the selection and the locator as in the zoomed view");
    CutterView->setAccessibleDescription("The part of the file chosen with the range slider");
}

QString TEditorPane::Readout(const QWidget* view) const {
    if (!loaded_) return "No file";
    const uint32_t rate = FullView->Wave().SampleRate();
    auto t = [rate](int64_t frames) { return time_text(frames, rate); };
    const QString locator = "Locator " + t(Locator());
    const QString selection =
        HasSelection() ? "selection " + t(SelStart()) + " to " + t(SelEnd()) : QString("no selection");
    if (view == FullView) return locator + ", " + selection;
    if (view == CutterView) return locator + ", " + selection + ", showing " + t(ZoomStart()) + " to " + t(ZoomEnd());
    if (view == FullViewTimePanel) return t(0) + " to " + t(frames_);
    if (view == CutterViewTimePanel) return t(ZoomStart()) + " to " + t(ZoomEnd());
    if (view == LocatorPanel) {
        const int64_t n = LocatorPanel->Model().Markers ? LocatorPanel->Model().Markers->Count() : 0;
        return locator + ", " + QString::number(n) + (n == 1 ? " marker" : " markers");
    }
    if (view == VolumeView) {
        const TMMEnvelope* e = VolumeView->Envelope();
        if (!e) return "No envelope";
        const int percent = int(int64_t(e->GainAt(std::max<int64_t>(Locator(), 0))) * 100 / std::max(e->BaseY(), 1));
        return QString::number(e->Count()) + " gain points, " + QString::number(percent) + " % at the locator";
    }
    return {};
}

void TEditorPane::ReadoutsChanged() {
    if (!QAccessible::isActive()) return;
    const std::initializer_list<QWidget*> views{FullViewTimePanel, FullView, CutterViewTimePanel,
                                                 LocatorPanel,      CutterView, VolumeView};
    readouts_.resize(views.size());
    size_t i = 0;
    for (QWidget* w : views) {
        const QString now = Readout(w);
        ui::AccessibleReadout::changed(w, readouts_[i], now);
        readouts_[i++] = now;
    }
}

void TEditorPane::WheelZoom(int64_t at, int notches, bool scroll) {
    if (!loaded_ || notches == 0) return;
    const int64_t min = ZoomStart(), max = ZoomEnd(), width = max - min;
    if (scroll) {
        const int64_t step = std::max<int64_t>(1, width / 10) * -notches;
        const int64_t from = std::clamp<int64_t>(min + step, 0, std::max<int64_t>(frames_ - width, 0));
        ShowZoom(from, from + width);
        return;
    }
    // The frame under the pointer stays under it.
    const double factor = std::pow(notches > 0 ? 0.8 : 1.25, std::abs(notches));
    const int64_t new_width = std::clamp<int64_t>(int64_t(double(width) * factor), 1, frames_);
    const double share = width > 0 ? double(at - min) / double(width) : 0.5;
    int64_t from = at - int64_t(share * double(new_width));
    from = std::clamp<int64_t>(from, 0, std::max<int64_t>(frames_ - new_width, 0));
    ShowZoom(from, from + new_width);
}

bool TEditorPane::eventFilter(QObject* watched, QEvent* event) {
    const auto type = event->type();
    if (type == QEvent::Wheel && (watched == CutterView || watched == LocatorPanel || watched == CutterViewTimePanel)) {
        auto* e = static_cast<QWheelEvent*>(event);
        const int64_t at = CutterView->Model().PixelToValue(int(e->position().x()));
        wheel_rest_ += e->angleDelta().y() != 0 ? e->angleDelta().y() : e->angleDelta().x();
        const int notches = wheel_rest_ / 120;
        wheel_rest_ -= notches * 120;
        WheelZoom(std::clamp<int64_t>(at, 0, frames_), notches, e->modifiers() & Qt::ShiftModifier);
        return true;
    }
    if (type == QEvent::MouseButtonRelease && (watched == FullViewSplitter || watched == VolumeViewSplitter)) {
        // After the splitter has taken the release and moved its bar.
        QMetaObject::invokeMethod(this, [this] {
            FitViews();
            if (OnSplitterReleased) OnSplitterReleased(*this);
        }, Qt::QueuedConnection);
        return false;
    }
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease) return false;
    auto* e = static_cast<QMouseEvent*>(event);
    auto* w = static_cast<QWidget*>(watched);
    TMMCustomMarkerPanel* model = nullptr;
    EachPanel([&](QWidget* panel, TMMCustomMarkerPanel& m) {
        if (panel == w) model = &m;
    });
    if (!model) return false;
    const int x = int(e->position().x());
    const int64_t frame = std::clamp<int64_t>(model->PixelToValue(x), 0, std::max<int64_t>(frames_, 0));
    if (type == QEvent::MouseButtonPress) {
        if (OnPress) OnPress(*this);
        if (!loaded_ || e->button() != Qt::LeftButton) return false;
        if (w == LocatorPanel && LocatorPanel->MarkerAt(x) >= 0) {
            marker_drag_ = true;
            if (OnMarkerDragBegin) OnMarkerDragBegin(*this);
            return false;
        }
        if (w == LocatorPanel || w == FullViewTimePanel || w == CutterViewTimePanel) locator_drag_ = true;
        if (w == FullView || w == CutterView) {
            // The views keep the press for their selection; the locator moves
            // to where it was pressed all the same.
            SetLocator(frame);
            if (OnLocatorPressed) OnLocatorPressed(*this, frame);
        }
        return false;
    }
    if (e->button() == Qt::LeftButton && locator_drag_) {
        locator_drag_ = false;
        QMetaObject::invokeMethod(this, [this] {
            if (OnLocatorReleased) OnLocatorReleased(*this, Locator());
        }, Qt::QueuedConnection);
    }
    if (e->button() == Qt::LeftButton && marker_drag_) {
        marker_drag_ = false;
        QMetaObject::invokeMethod(this, [this] {
            if (OnMarkerDragEnd) OnMarkerDragEnd(*this);
        }, Qt::QueuedConnection);
    }
    if (e->button() == Qt::RightButton && loaded_ && w == VolumeView) {
        if (OnEnvelopePopup && VolumeView->Envelope()) {
            const int y = int(e->position().y());
            const int32_t gain = int32_t(std::clamp<int64_t>(VolumeView->Model().PixelToValueY(y),
                                                             VolumeView->Envelope()->RangeMinY(),
                                                             VolumeView->Envelope()->RangeMaxY()));
            OnEnvelopePopup(*this, e->globalPosition().toPoint(), frame, gain, VolumeView->PointAt(x, y));
        }
        return false;
    }
    if (e->button() == Qt::RightButton && loaded_ && OnRightRelease) OnRightRelease(*this, w, e->globalPosition().toPoint(), frame);
    return false;
}

}  // namespace murrel
