#pragma once
// TMMWaveEditor: a wave drawn from its display data (the overview and the
// zoomed view of a pane), with the shown play range, cuts, selection,
// locator and zoom rectangle. Its behaviour lives in the model it holds; the
// widget loads the wave, keeps the pixel buffer and paints.
#include <QMenu>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "editor/displayregistry.h"
#include "editor/mmenvelope.h"
#include "editor/mmenhancedwave.h"
#include "editor/paint/wavepaint.h"
#include "editor/waveeditormodel.h"

namespace murrel {

enum class TMMWaveEditorKind { ekLines, ekSpikes };

class TMMWaveEditor : public QWidget {
    Q_OBJECT
public:
    explicit TMMWaveEditor(QWidget* parent = nullptr);
    ~TMMWaveEditor() override;

    TMMWaveEditorModel& Model() { return model_; }
    const TMMEnhancedWave& Wave() const { return wave_; }
    // Copies `wave` into the view's own wave and loads it (Algorithm of the
    // loading): range, markers, locator, display data, selection, pixels.
    // Raises EMMWaveEditError "File must contain at least N Samples" or
    // "Unable to create Display Data"; nullptr detaches.
    void SetWave(const TMMEnhancedWave* wave);

    // Shows `min..max` (normalised as every panel does) and reloads the pixels.
    void SetDisplayRange(int64_t min, int64_t max);

    // The gain envelope (not owned; nullptr: none). Its X range follows the
    // view's range, and the drawn samples are multiplied by its gain. The
    // view lets go of it when it is destroyed.
    void SetEnvelope(TMMEnvelope* envelope);
    TMMEnvelope* Envelope() const { return envelope_.Get(); }

    // Shown on a right click inside the selection (not owned).
    QMenu* SelectPopup = nullptr;
    bool DeleteDisplayFile = false;
    TMMWaveEditorKind Kind = TMMWaveEditorKind::ekLines;
    WavePaintColors Colors;
    QColor SelectColor = QColor(255, 255, 255);
    QColor ZoomColor = QColor(255, 255, 0);
    QColor RegionColor = QColor(64, 0, 0);
    QColor RegionBorder = QColor(192, 0, 0);
    QColor LocatorColor = QColor(255, 64, 64);
    QColor HelpLocatorColor = QColor(255, 160, 160);
    QColor MarkerColor = QColor(255, 200, 0);
    QColor GridColor = QColor(0, 88, 88);
    QColor BevelColor = QColor(56, 56, 64), BevelLight = QColor(104, 104, 116), BevelDark = QColor(20, 20, 24);
    // Fewest frames a wave must have; the screen's width unless set.
    int MinimumSamples = -1;
    TMMDisplayRegistry* Registry = &TMMDisplayRegistry::Instance();

    // (percent, cancel) while display data is built.
    std::function<void(TMMWaveEditor&, int percent, bool& cancel)> OnGenerate;
    // Draws the bevel between the two channels of a stereo view and the frame
    // of the border; unset, the view draws them raised.
    std::function<void(TMMWaveEditor&, QPainter&, const QRect& bevel)> OnDrawBevel;

    // Whether the shown range is zoomed in beyond the finest display-data
    // level, so that the columns come from the samples themselves.
    bool BeyondDisplayData() const;
    // Whether the wave's file holds PCM samples (false when none is loaded).
    bool Pcm() const;

    // Four int16 per inner column of device pixels (the pixel buffer): a
    // screen at two device pixels per pixel gets two columns per pixel.
    const std::vector<int16_t>& PixelBuffer() const { return pixels_; }
    int PixelLoads() const { return pixel_loads_; }

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void contextMenuEvent(QContextMenuEvent*) override;

private:
    void Release();
    void LoadPixels();
    bool ColumnActive(int column) const;
    // The pixel buffer as drawn: multiplied by the envelope when there is one.
    std::vector<int16_t> DrawnColumns() const;
    void DrawBevels(QPainter& p, const QRect& area, int channels);

    TMMWaveEditorModel model_;
    TMMEnhancedWave wave_;
    TMMAcmWave pcm_;  // the file, whole, for views zoomed beyond the display data
    std::string key_;
    std::vector<int16_t> pixels_;
    int pixel_loads_ = 0;
    int column_ratio_ = 1;  // columns of the pixel buffer per pixel
    TMMEnvelopeLink envelope_;
};

}  // namespace murrel
