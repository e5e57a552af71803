#pragma once
// The behaviour of a wave editor view apart from its drawing: the selection
// and the shown play range, what the left mouse button does (cuts,
// selection edges, new selections, zoom rectangle, edge scrolling, snap) and
// the hint under the pointer. The window forwards its mouse in pixels.
//
// Units: frames; pixels of the widget. Threads: the user-interface thread.
#include <cstdint>
#include <functional>
#include <string>

#include "audio/formats/mmwave_cutlist.h"
#include "editor/markerpanel.h"

namespace murrel {

inline constexpr const char* kHintResizeSelection = "Resize Selection";
inline constexpr const char* kHintMoveSelection = "Move Selection";
inline constexpr const char* kHintSkipedRegion = "Skiped Region";

class TMMWaveEditorModel : public TMMCustomMarkerPanel {
public:
    // Pixels around a selection edge that grab it: left and right of the start,
    // left and right of the end.
    static constexpr int kStartGrabLeft = 3, kStartGrabRight = 2;
    static constexpr int kEndGrabLeft = 2, kEndGrabRight = 3;
    // Within this many pixels of either edge a drag scrolls the shown range.
    static constexpr int kScrollZone = 5;

    int64_t SelStart() const { return sel_start_; }
    int64_t SelEnd() const { return sel_end_; }
    // Clamps both ends to MarkerA..MarkerB with CorralLocator, else to the
    // range; -1 stays none; puts them in order; an empty selection becomes
    // (-1, -1). Returns the length.
    int64_t SetSelection(int64_t start, int64_t end);
    // Clamps to the range and orders; sets MarkerA/MarkerB and re-applies the
    // selection.
    void SetPlayRange(int64_t a, int64_t b);

    // The wave's skip list (referenced).
    const TMMCutList* Cuts = nullptr;

    bool Zoom = false;
    bool AutoZoom = true;
    bool Locked = false;

    // Left button. `p` is the pointer's pixel.
    void MouseDown(int p);
    void MouseMove(int p);
    void MouseUp(int p);
    bool Dragging() const { return drag_ != Drag::None; }
    // A press inside the selection (off its edges) drags it whole; released
    // without moving it is a plain click and clears it.
    bool MovingSelection() const { return drag_ == Drag::Move; }
    // The zoom rectangle's two values while one is dragged.
    int64_t ZoomFrom() const { return zoom_from_; }
    int64_t ZoomTo() const { return zoom_to_; }

    std::string HintAt(int p) const;

    std::function<void(TMMWaveEditorModel&, int64_t start, int64_t end)> OnSelecting;
    std::function<void(TMMWaveEditorModel&, int64_t start, int64_t end)> OnSelectEnd;
    std::function<void(TMMWaveEditorModel&, int64_t start, int64_t end)> OnZooming;
    std::function<void(TMMWaveEditorModel&, int64_t start, int64_t end)> OnZoomEnd;
    // Asked for a repaint after a change the view shows.
    std::function<void()> OnInvalidate;

private:
    enum class Drag { None, Select, Cut, Zoom, Move };
    enum class Edge { None, Start, End };
    Edge OnEdge(int p) const;
    int64_t CutAt(int64_t v) const;
    void ScrollAtEdge(int p);
    void Extend(int p);
    void Invalidate() {
        if (OnInvalidate) OnInvalidate();
    }

    int64_t sel_start_ = -1, sel_end_ = -1;
    Drag drag_ = Drag::None;
    int64_t anchor_ = 0;
    int64_t low_ = 0, high_ = 0;  // where a dragged edge may go
    int64_t grabbed_cut_ = -1;
    int64_t move_from_ = 0;  // the value pressed inside a selection being moved
    bool moved_ = false;
    int64_t zoom_from_ = -1, zoom_to_ = -1;
};

}  // namespace murrel
