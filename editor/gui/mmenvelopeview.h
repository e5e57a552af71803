#pragma once
// The gain envelope as a view (the Voice Editor keeps it hidden): the
// envelope's points as a line over the view's range, the unity gain as a mid
// line, and the mouse to edit them — a press on a point grabs it (the right
// button deletes an inner one), a press elsewhere adds a point there; a grabbed
// point follows the mouse, an inner one between its neighbours, an end point
// up and down only.
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

    // The point drawn within kGrab pixels of (x, y), nearest first, or -1.
    int64_t PointAt(int x, int y) const;

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
};

}  // namespace murrel
