#pragma once
// One pane of the Voice Editor: its title bar (heading, the window's buttons
// for the pane, the file name), the overview with its time ruler, the zoomed
// view with its time ruler and marker strip, the hidden envelope view and the
// range slider. The pane keeps its panels in step (range, zoom, locator,
// selection, play range) and reports what the mouse did; the window decides
// what that means.
//
// Units: frames of the pane's wave. Threads: the user-interface thread.
#include <QFrame>
#include <functional>

#include "editor/gui/mmenvelopeview.h"
#include "editor/gui/mmviewpanels.h"
#include "editor/gui/mmwaveeditor.h"

class QHBoxLayout;
class QLabel;

namespace murrel {

class TEditorPane : public QFrame {
    Q_OBJECT
public:
    // `upper`: the reference pane, whose components' names end in "_up".
    explicit TEditorPane(bool upper, QWidget* parent = nullptr);

    const bool Upper;
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

    bool loaded_ = false;
    int64_t frames_ = 0;
    bool syncing_ = false;
    bool marker_drag_ = false;
    int wheel_rest_ = 0;
    bool locator_drag_ = false;  // wheel angle not yet a whole notch
};

}  // namespace murrel
