#pragma once
// The gain envelope as a view (the Voice Editor shows it on request): the
// envelope's points as a line over the view's range, the unity gain as a mid
// line, and the left button to edit them — a press on a point grabs it, a
// press elsewhere adds a point there; a grabbed point follows the mouse, an
// inner one between its neighbours, an end point up and down only. The right
// button is left to the owner's pop-up (new point, delete point).
#include <QWidget>
#include <functional>

#include "editor/markerpanel.h"
#include "editor/mmenvelope.h"

namespace murrel {

class TMMEnvelopeView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kGrab = 4;  // pixels around a point that grab it

    explicit TMMEnvelopeView(QWidget* parent = nullptr);

    TMMCustomMarkerPanel& Model() { return model_; }
    // Not owned; the view follows its ranges and repaints on its changes, and
    // lets go of it when it is destroyed.
    void SetEnvelope(TMMEnvelope* envelope);
    TMMEnvelope* Envelope() const { return envelope_.Get(); }
    void SetDisplayRange(int64_t min, int64_t max);

    // Whether `envelope` takes a new point at frame x (strictly inside its
    // ends, at no point's x).
    static bool CanAdd(const TMMEnvelope& envelope, int64_t x);

    // The point drawn within kGrab pixels of (x, y), nearest first, or -1.
    int64_t PointAt(int x, int y) const;

    // Before a press changes the envelope (so that undo can keep the points
    // as they were), and when the button is let go: `changed` false when the
    // press grabbed a point and let it go where it was.
    std::function<void(TMMEnvelopeView&)> OnEditBegin;
    std::function<void(TMMEnvelopeView&, bool changed)> OnEditEnd;

    QColor Background = QColor(16, 16, 24), LineColor = QColor(255, 180, 40), PointColor = QColor(255, 230, 140),
           MidLineColor = QColor(0, 128, 128), LocatorColor = QColor(255, 64, 64);

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

private:
    void FollowEnvelope();
    void MoveGrabbed(int x, int y);

    TMMCustomMarkerPanel model_;
    TMMEnvelopeLink envelope_;
    int64_t grabbed_ = -1;
    bool changed_ = false;
};

}  // namespace murrel
