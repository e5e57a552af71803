#pragma once
// The rulers and strips around a pane's wave views: the time ruler
// (TMMTimePanel), the marker strip (TMMMarkerPanel) and the range slider
// (TMMScrollPanel). Each paints what its model holds and forwards the mouse.
#include <QWidget>
#include <functional>
#include <string>

#include "editor/markerpanel.h"
#include "editor/timepanelmodel.h"

namespace murrel {

class TMMTimePanel : public QWidget {
    Q_OBJECT
public:
    explicit TMMTimePanel(QWidget* parent = nullptr);
    TMMTimePanelModel& Model() { return model_; }
    QColor Background = QColor(24, 24, 32), Foreground = QColor(200, 220, 200),
           HelpLocatorColor = QColor(255, 160, 160), LocatorColor = QColor(255, 64, 64);

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

private:
    TMMTimePanelModel model_;
};

// The marker strip: the marker list's markers, markers A and B and the locator.
// A press within kGrab pixels of a list marker drags it (snapped to the grid
// when SnapToGrid); elsewhere the left button places and drags the locator.
class TMMMarkerPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int kGrab = 4;

    explicit TMMMarkerPanel(QWidget* parent = nullptr);
    TMMCustomMarkerPanel& Model() { return model_; }
    // The list marker drawn nearest to pixel x within kGrab, or -1.
    int64_t MarkerAt(int x) const;
    // Which play-range flag's handle pixel x is on: 2 marker A (its flag
    // points right), 3 marker B (points left), 0 neither; the nearer line wins.
    int RangeHandleAt(int x) const;
    // (panel, index in the list after the move) while a marker is dragged.
    std::function<void(TMMMarkerPanel&, int64_t index)> OnMarkerMoved;
    QColor Background = QColor(32, 32, 40), MarkerColor = QColor(255, 200, 0),
           RangeColor = QColor(80, 160, 255), LocatorColor = QColor(255, 64, 64),
           HelpLocatorColor = QColor(255, 160, 160), GridColor = QColor(70, 70, 90);

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

private:
    TMMCustomMarkerPanel model_;
    enum class Grab { None, Marker, Locator } grab_ = Grab::None;
    int32_t grabbed_id_ = 0;
};

// Hands a widget's events to a function before the widget (and the filters
// installed before it) see them; true from the function consumes the event.
class TEventTap : public QObject {
public:
    TEventTap(QObject* parent, std::function<bool(QObject*, QEvent*)> tap) : QObject(parent), tap_(std::move(tap)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override { return tap_(watched, event); }

private:
    std::function<bool(QObject*, QEvent*)> tap_;
};

// A horizontal slider over RangeMin..RangeMax whose thumb covers
// SliderMin..SliderMax. Dragging the thumb fires OnTrack, dragging one of its
// ends OnTrackSize, releasing OnTrackEnd.
class TMMScrollPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int kEdgeGrab = 4;  // pixels at each end of the thumb that resize it

    explicit TMMScrollPanel(QWidget* parent = nullptr);
    void SetRange(int64_t min, int64_t max);
    int64_t RangeMin() const { return range_min_; }
    int64_t RangeMax() const { return range_max_; }
    // Ordered, at least one apart, within the range; redraws.
    void SetSlider(int64_t min, int64_t max);
    int64_t SliderMin() const { return slider_min_; }
    int64_t SliderMax() const { return slider_max_; }
    void SetLocator(int64_t v) { locator_ = v; update(); }
    void SetCaption(const QString& text) { caption_ = text; update(); }
    const QString& Caption() const { return caption_; }

    std::function<void(TMMScrollPanel&, int64_t min, int64_t max)> OnTrack;
    std::function<void(TMMScrollPanel&, int64_t min, int64_t max)> OnTrackSize;
    std::function<void(TMMScrollPanel&, int64_t min, int64_t max)> OnTrackEnd;

    QColor Background = QColor(24, 24, 32), Thumb = QColor(70, 90, 130), ThumbBorder = QColor(150, 180, 230),
           Text = QColor(235, 235, 235), LocatorColor = QColor(255, 64, 64);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

private:
    int XOf(int64_t v) const;
    int64_t ValueOf(int x) const;
    enum class Grab { None, Move, Left, Right } grab_ = Grab::None;
    int64_t range_min_ = 0, range_max_ = 1, slider_min_ = 0, slider_max_ = 1, locator_ = -1;
    int64_t grab_value_ = 0, grab_min_ = 0, grab_max_ = 1;
    QString caption_;
};

}  // namespace murrel
