#include "editor/gui/mmwaveeditor.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QToolTip>

namespace murrel {

TMMWaveEditor::TMMWaveEditor(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    model_.OnInvalidate = [this] { update(); };
    model_.SetSize(width(), height());
}

TMMWaveEditor::~TMMWaveEditor() { Release(); }

void TMMWaveEditor::Release() {
    if (!key_.empty()) Registry->Release(key_, DeleteDisplayFile);
    key_.clear();
    pcm_.FreeWave();
}

void TMMWaveEditor::SetWave(const TMMEnhancedWave* wave) {
    Release();
    pixels_.clear();
    wave_.FreeWave();
    if (!wave || wave->FileName().empty()) {
        update();
        return;
    }
    wave_.Assign(*wave);
    wave_.SetTimeFormat(TMMTimeFormats::tfSample);
    const int64_t frames = wave_.DataSize();
    int minimum = MinimumSamples;
    if (minimum < 0) minimum = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->size().width() : 0;
    if (frames < minimum) {
        wave_.FreeWave();
        throw EMMWaveEditError("File must contain at least " + std::to_string(minimum) + " Samples");
    }
    model_.SetSize(width(), height());
    model_.Cuts = wave_.SkipList();
    if (model_.RangeMaxX() != frames) {
        model_.SetRangeX(0, frames);
        model_.SetDisplayRange(0, frames);
    }
    model_.SetMarkerA(wave_.StartPos());
    model_.SetLocator(wave_.StartPos() + wave_.Position());
    model_.SetMarkerB(wave_.EndPos());

    key_ = Registry->Register(wave_);
    bool ok = !key_.empty();
    if (ok) {
        const DisplayBuildResult r = Registry->Build(key_, wave_, [this](int percent, bool& cancel) {
            if (OnGenerate) OnGenerate(*this, percent, cancel);
        });
        ok = r == DisplayBuildResult::Built && Registry->Valid(key_);
    }
    if (!ok) {
        Release();
        wave_.FreeWave();
        throw EMMWaveEditError(kUnableToCreateDisplayData);
    }
    pcm_.SetFileName(key_);
    model_.SetSelection(-1, -1);
    model_.SetPlayRange(model_.MarkerA(), model_.MarkerB());
    LoadPixels();
    update();
}

void TMMWaveEditor::SetDisplayRange(int64_t min, int64_t max) {
    model_.SetDisplayRange(min, max);
    LoadPixels();
    update();
}

void TMMWaveEditor::LoadPixels() {
    // A hidden widget gets no resize events; its size is already set.
    model_.SetSize(width(), height());
    const int columns = model_.InnerWidth();
    pixels_.assign(size_t(4 * std::max(columns, 0)), 0);
    if (key_.empty() || columns <= 0) return;
    const int64_t frames = Registry->Frames(key_);
    const int64_t shown = std::max<int64_t>(1, model_.DispMaxX() - model_.DispMinX());
    // The virtual strip that would show the whole file at this zoom, in the
    // panel's own mapping (w - 2b - 1 pixel steps over the shown range).
    const int64_t strip = std::max<int64_t>(1, int64_t(std::max(columns - 1, 1)) * frames / shown);
    const int64_t from = model_.DispMinX() * strip / std::max<int64_t>(1, frames);
    LoadPixelBuffer(*Registry, key_, pcm_, from, from + columns, strip, pixels_.data());
    ++pixel_loads_;
}

void TMMWaveEditor::resizeEvent(QResizeEvent*) {
    model_.SetSize(width(), height());
    LoadPixels();
}

bool TMMWaveEditor::ColumnActive(int column) const {
    const int64_t v = const_cast<TMMWaveEditorModel&>(model_).PixelToValue(column + model_.Border());
    if (model_.MarkerA() >= 0 && v < model_.MarkerA()) return false;
    if (model_.MarkerB() >= 0 && v > model_.MarkerB()) return false;
    return !(model_.Cuts && model_.Cuts->Count() > 0 && model_.Cuts->ContainingIndex(v) >= 0);
}

void TMMWaveEditor::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int b = model_.Border();
    const QRect area(b, b, model_.InnerWidth(), model_.InnerHeight());
    p.fillRect(rect(), Colors.background);
    if (!pixels_.empty() && area.width() > 0) {
        if (Kind == TMMWaveEditorKind::ekSpikes) {
            // Spikes: each column's larger excursion from the middle, mirrored.
            std::vector<int16_t> spikes(pixels_);
            for (size_t i = 0; i + 1 < spikes.size(); i += 2) {
                const int peak = std::max(std::abs(int(spikes[i])), std::abs(int(spikes[i + 1])));
                spikes[i] = int16_t(-std::min(peak, 32767));
                spikes[i + 1] = int16_t(std::min(peak, 32767));
            }
            PaintWaveLines(p, area, spikes.data(), Registry->Channels(key_), Colors,
                           [this](int c) { return ColumnActive(c); });
        } else {
            PaintWaveLines(p, area, pixels_.data(), Registry->Channels(key_), Colors,
                           [this](int c) { return ColumnActive(c); });
        }
    }
    auto x_of = [&](int64_t v) { return int(model_.ValueToPixel(v)); };
    if (model_.Cuts)
        for (const TMMCutRecord& c : model_.Cuts->Items()) {
            const int x0 = x_of(c.start), x1 = x_of(c.start + c.length);
            if (x1 < 0 || x0 > width()) continue;
            QColor fill = RegionColor;
            fill.setAlpha(110);
            p.fillRect(QRect(QPoint(x0, area.top()), QPoint(x1, area.bottom())), fill);
            p.setPen(RegionBorder);
            p.drawRect(QRect(QPoint(x0, area.top()), QPoint(x1, area.bottom())));
        }
    if (model_.SelStart() >= 0) {
        QColor sel = SelectColor;
        sel.setAlpha(80);
        p.fillRect(QRect(QPoint(x_of(model_.SelStart()), area.top()), QPoint(x_of(model_.SelEnd()), area.bottom())),
                   sel);
    }
    if (model_.Dragging() && model_.Zoom && model_.ZoomFrom() >= 0) {
        p.setPen(ZoomColor);
        p.drawRect(QRect(QPoint(x_of(model_.ZoomFrom()), area.top()), QPoint(x_of(model_.ZoomTo()), area.bottom())));
    }
    if (model_.Locator() >= 0) {
        p.setPen(LocatorColor);
        p.drawLine(x_of(model_.Locator()), area.top(), x_of(model_.Locator()), area.bottom());
    }
}

void TMMWaveEditor::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) model_.MouseDown(int(e->position().x()));
}

void TMMWaveEditor::mouseMoveEvent(QMouseEvent* e) {
    const int x = int(e->position().x());
    if (model_.Dragging()) {
        const int64_t before = model_.DispMinX();
        model_.MouseMove(x);
        if (model_.DispMinX() != before) LoadPixels();
    } else {
        setToolTip(QString::fromStdString(model_.HintAt(x)));
    }
}

void TMMWaveEditor::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    const int64_t before_min = model_.DispMinX(), before_max = model_.DispMaxX();
    model_.MouseUp(int(e->position().x()));
    if (model_.DispMinX() != before_min || model_.DispMaxX() != before_max) LoadPixels();
    update();
}

}  // namespace murrel
