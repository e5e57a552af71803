#include "editor/gui/editorpane.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <cmath>

#include "ui/skin.h"

namespace murrel {

namespace {
constexpr int64_t kEmptyRange = 44100;
const QColor kActiveFrame(0, 0, 255), kInactiveFrame(0x80, 0x80, 0x80);
const QColor kActiveView(0, 0, 0), kInactiveView(0xC0, 0xC0, 0xC0);

QString named(const char* base, bool upper) { return QString(base) + (upper ? "_up" : ""); }
}  // namespace

TEditorPane::TEditorPane(bool upper, QWidget* parent) : QFrame(parent), Upper(upper) {
    setObjectName(upper ? "cutterpanel_up" : "CutterPanel");
    setFrameShape(QFrame::Box);
    setLineWidth(2);
    setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(3, 3, 3, 3);
    layout->setSpacing(1);

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
    ButtonBar->setFixedHeight(24);
    ButtonLayout = new QHBoxLayout(ButtonBar);
    ButtonLayout->setContentsMargins(2, 0, 2, 0);
    ButtonLayout->setSpacing(1);
    ButtonLayout->addStretch(1);
    layout->addWidget(ButtonBar);

    FullViewTimePanel = new TMMTimePanel(this);
    FullViewTimePanel->setObjectName(named("FullViewTimePanel", upper));
    FullViewTimePanel->setFixedHeight(18);
    FullView = new TMMWaveEditor(this);
    FullView->setObjectName(named("FullView", upper));
    FullView->setMinimumHeight(50);
    FullView->setMaximumHeight(70);
    CutterViewTimePanel = new TMMTimePanel(this);
    CutterViewTimePanel->setObjectName(named("CutterViewTimePanel", upper));
    CutterViewTimePanel->setFixedHeight(18);
    CutterViewTimePanel->Model().ShowMsec = true;
    FullViewTimePanel->Model().ShowMsec = true;
    LocatorPanel = new TMMMarkerPanel(this);
    LocatorPanel->setObjectName(named("LocatorPanel", upper));
    LocatorPanel->setFixedHeight(16);
    CutterView = new TMMWaveEditor(this);
    CutterView->setObjectName(upper ? "cutterview_up" : "CutterView");
    CutterView->setMinimumHeight(50);
    VolumeView = new TMMEnvelopeView(this);
    VolumeView->setObjectName(named("VolumeView", upper));
    VolumeView->setMinimumHeight(20);
    VolumeView->hide();
    ScrollPanel = new TMMScrollPanel(this);
    ScrollPanel->setObjectName(named("ScrollPanel", upper));
    ScrollPanel->setFixedHeight(16);
    for (QWidget* w : std::initializer_list<QWidget*>{FullViewTimePanel, FullView, CutterViewTimePanel, LocatorPanel,
                                                      CutterView, VolumeView, ScrollPanel})
        layout->addWidget(w, w == CutterView ? 1 : 0);

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
    update();
}

void TEditorPane::Unload() {
    loaded_ = false;
    frames_ = 0;
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
}

void TEditorPane::SetSelection(int64_t start, int64_t end) {
    syncing_ = true;
    for (TMMWaveEditor* v : {FullView, CutterView}) {
        v->Model().SetSelection(start, end);
        v->update();
    }
    syncing_ = false;
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
    QPalette p = palette();
    p.setColor(QPalette::WindowText, active ? kActiveFrame : kInactiveFrame);
    p.setColor(QPalette::Window, ui::colours::panel);
    setPalette(p);
    for (TMMWaveEditor* v : {FullView, CutterView}) {
        v->Colors.background = active ? kActiveView : kInactiveView;
        v->update();
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
    if (e->button() == Qt::RightButton && loaded_ && OnRightRelease) OnRightRelease(*this, w, e->globalPosition().toPoint(), frame);
    return false;
}

}  // namespace murrel
