#pragma once
// One pane of the Voice Editor: its title bar (heading, the window's buttons
// for the pane, the file name) above the framed pane panel, which holds the
// overview with its time ruler, the zoomed view with its time ruler and
// marker strip, the envelope view (hidden until the user asks for it) and the
// range slider. Two splitter bars share the panel's height between the
// overview, the zoomed view and the envelope. The pane keeps its panels in
// step (range, zoom, locator, selection, play range) and reports what the
// mouse did; the window decides what that means.
//
// Units: frames of the pane's wave; heights in pixels. Threads: the
// user-interface thread.
#include <QFrame>
#include <functional>

#include "editor/gui/mmenvelopeview.h"
#include "editor/gui/mmviewpanels.h"
#include "editor/gui/mmwaveeditor.h"

class QHBoxLayout;
class QLabel;
class QSplitter;
class QSplitterHandle;

namespace murrel {

// Heights of the three parts the splitter bars divide: the overview with its
// ruler, the zoomed view with its ruler and marker strip, the envelope view.
struct TPaneViewHeights {
    int overview = 0, zoom = 0, envelope = 0;
    bool operator==(const TPaneViewHeights&) const = default;
};

class TEditorPane : public QWidget {
    Q_OBJECT
public:
    // Below these the parts are not useful; the splitter bars stop there and
    // a resize restores them.
    static constexpr int kOverviewMin = 50;  // the overview with its ruler
    static constexpr int kZoomedViewMin = 50;  // the zoomed view itself
    static constexpr int kEnvelopeMin = 20;
    static constexpr int kRulerHeight = 18, kMarkerStripHeight = 16, kScrollHeight = 16;
    static constexpr int kHandleWidth = 3;
    // The title bar and the button row above the pane panel.
    static constexpr int kHeaderHeight = 50;
    static constexpr int kFrameWidth = 2;

    // `upper`: the reference pane, whose components' names end in "_up".
    explicit TEditorPane(bool upper, QWidget* parent = nullptr);

    // `space`: the pixels the parts share (the splitter's height less its
    // visible bars); `wanted`: the heights the user left them at. Each part
    // keeps at least its minimum, taken from the zoomed view first, then the
    // envelope, then the overview; when even the minimums do not fit they
    // share the space in their proportions. The zoomed view takes the rest.
    static TPaneViewHeights FitViewHeights(int space, TPaneViewHeights wanted, bool envelope_shown);

    const bool Upper;
    // The framed panel with the views ("CutterPanel" / "cutterpanel_up").
    QFrame* CutterPanel = nullptr;
    QSplitter* ViewSplitter = nullptr;
    // The bars between the overview and the zoomed view, and above the
    // envelope view (hidden with it).
    QSplitterHandle* FullViewSplitter = nullptr;
    QSplitterHandle* VolumeViewSplitter = nullptr;
    QWidget* Titlepanel = nullptr;
    QHBoxLayout* TitleLayout = nullptr;
    QWidget* ButtonBar = nullptr;  // the row under the title bar with the pane's buttons
    QHBoxLayout* ButtonLayout = nullptr;
    QLabel* Panel_filekind = nullptr;
    QLabel* Panel_filename = nullptr;
    QWidget* MenuBar = nullptr;  // the tool bar the pane's menu sits in
    TMMTimePanel* FullViewTimePanel = nullptr;
    TMMWaveEditor* FullView = nullptr;
    TMMTimePanel* CutterViewTimePanel = nullptr;
    TMMMarkerPanel* LocatorPanel = nullptr;
    TMMWaveEditor* CutterView = nullptr;
    TMMEnvelopeView* VolumeView = nullptr;
    TMMScrollPanel* ScrollPanel = nullptr;

    // Loads `wave` (file, range, position, cuts) into both views with
    // `markers` as the marker list. Raises what the views raise (too short,
    // display data not built); the pane is then empty.
    void Load(const TMMEnhancedWave& wave, TMMMarkerList* markers);
    // Empties every panel; every range 0 .. 44100.
    void Unload();
    bool Loaded() const { return loaded_; }
    int64_t Frames() const { return frames_; }
    // Reloads the views' pixels after the wave's cuts changed.
    void Invalidate();

    int64_t Locator() const { return CutterView->Model().Locator(); }
    void SetLocator(int64_t frame);
    int64_t SelStart() const { return CutterView->Model().SelStart(); }
    int64_t SelEnd() const { return CutterView->Model().SelEnd(); }
    bool HasSelection() const { return SelStart() >= 0 && SelEnd() > SelStart(); }
    void SetSelection(int64_t start, int64_t end);
    int64_t MarkerA() const { return CutterView->Model().MarkerA(); }
    int64_t MarkerB() const { return CutterView->Model().MarkerB(); }
    void SetPlayRange(int64_t a, int64_t b);

    // The zoomed view, its ruler, the marker strip, the envelope and the
    // slider show min..max (kept at least a frame per pixel).
    void ShowZoom(int64_t min, int64_t max);
    int64_t ZoomStart() const { return CutterView->Model().DispMinX(); }
    int64_t ZoomEnd() const { return CutterView->Model().DispMaxX(); }
    // Playback or a key moved the locator: the zoomed range follows it when
    // it left the view.
    void KeepVisible(int64_t frame);
    // The mouse wheel over the zoomed view: `notches` forward zoom in around
    // frame `at` (back: out); with `scroll` the range moves instead.
    void WheelZoom(int64_t at, int notches, bool scroll);

    // The frame and view colours of an active or inactive pane.
    void SetActive(bool active);

    // The gain envelope the envelope view edits while a file is loaded (not
    // owned; nullptr: none).
    void SetEnvelope(TMMEnvelope* envelope);

    // Shows or hides the envelope view and its splitter bar; the zoomed view
    // gives it its room.
    void ShowEnvelope(bool shown);
    bool EnvelopeShown() const;
    // The overview, zoomed view and envelope heights as they are now.
    TPaneViewHeights ViewHeights() const;
    // Applies the minimums of FitViewHeights to the splitter as it stands
    // (after a resize or a splitter bar was let go).
    void FitViews();
    // A splitter bar was let go.
    std::function<void(TEditorPane&)> OnSplitterReleased;

    // What a screen reader reads off each view ("Locator 0:01.250, ...").
    QString Readout(const QWidget* view) const;
    // The envelope view was right-clicked: the frame and gain under the
    // mouse and the point there (-1: none).
    std::function<void(TEditorPane&, QPoint global, int64_t frame, int32_t gain, int64_t point)> OnEnvelopePopup;

    // Any press on the pane's panels (before anything else handles it).
    std::function<void(TEditorPane&)> OnPress;
    // A left press on a panel that is not a marker: the frame pressed.
    std::function<void(TEditorPane&, int64_t frame)> OnLocatorPressed;
    std::function<void(TEditorPane&)> OnSelectionChanged;
    // The right button released over a panel.
    std::function<void(TEditorPane&, QWidget* panel, QPoint global, int64_t frame)> OnRightRelease;
    // The locator was let go after a drag along the marker strip or a ruler.
    std::function<void(TEditorPane&, int64_t frame)> OnLocatorReleased;
    // Whether the locator is being dragged along the marker strip or a ruler.
    bool LocatorDragging() const { return locator_drag_; }
    // A marker of the list was grabbed in the marker strip / let go.
    std::function<void(TEditorPane&)> OnMarkerDragBegin;
    std::function<void(TEditorPane&)> OnMarkerDragEnd;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    template <class F>
    void EachPanel(F f);
    void ShareLocator(int64_t frame);
    void NameViews();
    // The envelope takes the loaded wave's range and gain points.
    void FitEnvelope(const TMMEnhancedWave& wave);
    void ReadoutsChanged();

    bool loaded_ = false;
    int64_t frames_ = 0;
    bool syncing_ = false;
    bool marker_drag_ = false;
    int wheel_rest_ = 0;  // wheel angle not yet a whole notch
    bool locator_drag_ = false;
    TMMEnvelope* envelope_ = nullptr;
    int envelope_height_ = 60;  // what the envelope had when it was hidden
    std::vector<QString> readouts_;  // as a screen reader last heard them
};

}  // namespace murrel
