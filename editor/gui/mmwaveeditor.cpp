#include "editor/gui/mmwaveeditor.h"

#include <QGuiApplication>
#include <QContextMenuEvent>
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

TMMWaveEditor::~TMMWaveEditor() {
    envelope_.Drop();
    Release();
}

void TMMWaveEditor::SetEnvelope(TMMEnvelope* envelope) {
    if (envelope == envelope_.Get()) return;
    envelope_.Set(envelope, [this] { update(); }, [this] { update(); });
    if (envelope_ && !key_.empty())
        envelope_->SetRange(model_.RangeMinX(), model_.RangeMaxX(), envelope_->RangeMinY(), envelope_->RangeMaxY());
    update();
}

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
        if (envelope_) envelope_->Reset();
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
    if (envelope_)
        envelope_->SetRange(model_.RangeMinX(), model_.RangeMaxX(), envelope_->RangeMinY(), envelope_->RangeMaxY());
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
    // The wave is drawn in device pixels, so a scaled screen shows the
    // detail it can instead of each column widened.
    column_ratio_ = std::max(1, qRound(devicePixelRatioF()));
    const int columns = model_.InnerWidth() * column_ratio_;
    pixels_.assign(size_t(4 * std::max(columns, 0)), 0);
    if (key_.empty() || columns <= 0) return;
    const int64_t frames = Registry->Frames(key_);
    const int64_t shown = std::max<int64_t>(1, model_.DispMaxX() - model_.DispMinX());
    // The virtual strip that would show the whole file at this zoom, in the
    // panel's own mapping (w - 2b - 1 pixel steps over the shown range).
    const int64_t steps = int64_t(std::max(model_.InnerWidth() - 1, 1)) * column_ratio_;
    const int64_t strip = std::max<int64_t>(1, steps * frames / shown);
    const int64_t from = model_.DispMinX() * strip / std::max<int64_t>(1, frames);
    LoadPixelBuffer(*Registry, key_, pcm_, from, from + columns, strip, pixels_.data());
    ++pixel_loads_;
}

bool TMMWaveEditor::BeyondDisplayData() const {
    if (key_.empty()) return false;
    const int levels = Registry->Levels(key_);
    if (levels < 0) return false;
    const int64_t frames = Registry->Frames(key_);
    const int64_t shown = std::max<int64_t>(1, model_.DispMaxX() - model_.DispMinX());
    // The same virtual strip LoadPixels reads for, in device columns.
    const int64_t steps = int64_t(std::max(model_.InnerWidth() - 1, 1)) * column_ratio_;
    const int64_t strip = std::max<int64_t>(1, steps * frames / shown);
    return (int64_t(1) << std::min(levels, 62)) < strip;
}

bool TMMWaveEditor::Pcm() const {
    if (wave_.FileName().empty()) return false;
    // The file's own format: the effective one is PCM for every file read
    // through a codec.
    try {
        const TWaveFormatEx* f = wave_.FileFormat();
        return f && f->wFormatTag == 1;
    } catch (const std::exception&) {
        return false;
    }
}

void TMMWaveEditor::resizeEvent(QResizeEvent*) {
    model_.SetSize(width(), height());
    LoadPixels();
}

bool TMMWaveEditor::ColumnActive(int column) const {
    const int64_t v =
        const_cast<TMMWaveEditorModel&>(model_).PixelToValue(column / column_ratio_ + model_.Border());
    if (model_.MarkerA() >= 0 && v < model_.MarkerA()) return false;
    if (model_.MarkerB() >= 0 && v > model_.MarkerB()) return false;
    return !(model_.Cuts && model_.Cuts->Count() > 0 && model_.Cuts->ContainingIndex(v) >= 0);
}

std::vector<int16_t> TMMWaveEditor::DrawnColumns() const {
    std::vector<int16_t> columns(pixels_);
    if (envelope_) {
        // The gain of a column is taken at its first value; the envelope's
        // lines are far longer than a column.
        for (size_t i = 0; 4 * i < columns.size(); ++i) {
            const int32_t gain = envelope_->GainAt(const_cast<TMMWaveEditorModel&>(model_).PixelToValue(
                int64_t(i) / column_ratio_ + model_.Border()));
            for (size_t k = 0; k < 4; ++k) columns[4 * i + k] = TMMEnvelope::Apply(columns[4 * i + k], gain);
        }
    }
    if (Kind == TMMWaveEditorKind::ekSpikes) {
        // Spikes: each column's larger excursion from the middle, mirrored.
        for (size_t i = 0; i + 1 < columns.size(); i += 2) {
            const int peak = std::max(std::abs(int(columns[i])), std::abs(int(columns[i + 1])));
            columns[i] = int16_t(-std::min(peak, 32767));
            columns[i + 1] = int16_t(std::min(peak, 32767));
        }
    }
    return columns;
}

void TMMWaveEditor::DrawBevels(QPainter& p, const QRect& area, int channels) {
    if (channels >= 2) {
        const QRect upper = WaveStrip(area, 2, 0), lower = WaveStrip(area, 2, 1);
        const QRect bevel(area.left(), upper.bottom() + 1, area.width(), lower.top() - upper.bottom() - 1);
        if (OnDrawBevel) {
            OnDrawBevel(*this, p, bevel);
        } else if (bevel.height() > 0) {
            p.fillRect(bevel, BevelColor);
            p.setPen(BevelLight);
            p.drawLine(bevel.left(), bevel.top(), bevel.right(), bevel.top());
            p.setPen(BevelDark);
            p.drawLine(bevel.left(), bevel.bottom(), bevel.right(), bevel.bottom());
        }
    }
    // The border: sunken, dark above and left, light below and right.
    for (int i = 0; i < model_.Border(); ++i) {
        const QRect r = rect().adjusted(i, i, -i - 1, -i - 1);
        p.setPen(BevelDark);
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(BevelLight);
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
    }
}

void TMMWaveEditor::paintEvent(QPaintEvent*) {
    // Moved onto a screen of another pixel ratio since the last load.
    if (!key_.empty() && column_ratio_ != std::max(1, qRound(devicePixelRatioF()))) LoadPixels();
    QPainter p(this);
    const int b = model_.Border();
    const QRect area(b, b, model_.InnerWidth(), model_.InnerHeight());
    const int channels = key_.empty() ? 1 : Registry->Channels(key_);
    p.fillRect(rect(), Colors.background);
    if (!pixels_.empty() && area.width() > 0) {
        const std::vector<int16_t> columns = DrawnColumns();
        const int r = column_ratio_;
        if (columns.size() == size_t(4 * area.width() * r)) {
            p.save();
            p.scale(1.0 / r, 1.0 / r);
            PaintWaveLines(p, QRect(area.x() * r, area.y() * r, area.width() * r, area.height() * r), columns.data(),
                           channels, Colors, [this](int c) { return ColumnActive(c); });
            p.restore();
        }
    }
    auto x_of = [&](int64_t v) { return model_.ValueToPixel(v); };
    if (model_.DrawGridX)
        PaintGridX(p, area, model_.RangeMinX(), model_.GridWidthX, model_.DispMinX(), model_.DispMaxX(), x_of,
                   GridColor);
    if (model_.Cuts)
        for (const TMMCutRecord& c : model_.Cuts->Items()) {
            const int x0 = int(x_of(c.start)), x1 = int(x_of(c.start + c.length));
            if (x1 < 0 || x0 > width()) continue;
            QColor fill = RegionColor;
            fill.setAlpha(110);
            const QRect r(QPoint(x0, area.top()), QPoint(x1, area.bottom()));
            p.fillRect(r, fill);
            p.setPen(RegionBorder);
            p.drawRect(r.adjusted(0, 0, -1, -1));
        }
    if (model_.SelStart() >= 0) {
        QColor sel = SelectColor;
        sel.setAlpha(80);
        p.fillRect(QRect(QPoint(int(x_of(model_.SelStart())), area.top()),
                         QPoint(int(x_of(model_.SelEnd())), area.bottom())),
                   sel);
    }
    if (model_.Dragging() && model_.Zoom && model_.ZoomFrom() >= 0) {
        p.setPen(ZoomColor);
        const int x0 = int(x_of(model_.ZoomFrom())), x1 = int(x_of(model_.ZoomTo()));
        p.drawRect(QRect(QPoint(std::min(x0, x1), area.top()), QPoint(std::max(x0, x1), area.bottom()))
                       .adjusted(0, 0, -1, -1));
    }
    if (model_.Markers) {
        p.setPen(QPen(MarkerColor, 0, Qt::DotLine));
        for (const TMMMarker& m : model_.Markers->Items())
            if (m.Visible && m.Offset >= model_.DispMinX() && m.Offset <= model_.DispMaxX())
                p.drawLine(int(x_of(m.Offset)), area.top(), int(x_of(m.Offset)), area.bottom());
    }
    DrawBevels(p, area, channels);
    if (model_.HelpLocator() >= 0)
        PaintHelpLocator(p, int(x_of(model_.HelpLocator())), area.top(), area.bottom(), HelpLocatorColor);
    if (model_.Locator() >= 0) {
        p.setPen(LocatorColor);
        p.drawLine(int(x_of(model_.Locator())), area.top(), int(x_of(model_.Locator())), area.bottom());
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
        const std::string hint = model_.HintAt(x);
        setToolTip(QString::fromStdString(hint));
        setCursor(hint == kHintResizeSelection ? Qt::SizeHorCursor
                  : hint == kHintMoveSelection ? Qt::OpenHandCursor
                                               : Qt::ArrowCursor);
    }
}

void TMMWaveEditor::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    const int64_t before_min = model_.DispMinX(), before_max = model_.DispMaxX();
    model_.MouseUp(int(e->position().x()));
    if (model_.DispMinX() != before_min || model_.DispMaxX() != before_max) LoadPixels();
    update();
}

void TMMWaveEditor::contextMenuEvent(QContextMenuEvent* e) {
    const int64_t v = model_.PixelToValue(e->pos().x());
    if (SelectPopup && model_.SelStart() >= 0 && v >= model_.SelStart() && v <= model_.SelEnd())
        SelectPopup->popup(e->globalPos());
}

}  // namespace murrel
