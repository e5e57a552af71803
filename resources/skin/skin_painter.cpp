// Paints the program's skin: every bitmap of the main window's frame, its
// buttons (four states side by side: normal, highlighted, pressed, disabled),
// the player strip pieces and the about picture. Run at build time:
//   skin_painter <output folder> [<icon theme folder>]
// writes the PNG files and skin.qrc listing them under the prefix /skin, and
// the program's icon in the desktop's sizes when a theme folder is named.
// Every skin picture is painted twice from the same drawing code: NAME.png at
// one device pixel per pixel and NAME@2x.png at two, for screens that scale
// the interface by two; the program loads the one that suits its screens.
// Sizes and coordinates below are always in the first's pixels.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>

#include <cmath>
#include <functional>
#include <utility>
#include <vector>

namespace {

// The palette: near-black body, slate panels, one teal accent.
const QColor kBody(0x0e, 0x11, 0x15);
const QColor kPanelHigh(0x34, 0x3b, 0x45);
const QColor kPanelLow(0x16, 0x1a, 0x1f);
const QColor kEdge(0x05, 0x06, 0x08);
const QColor kRim(0x4c, 0x55, 0x61);
const QColor kGlyph(0xc9, 0xd2, 0xdc);
const QColor kAccent(0x3f, 0xc8, 0xc4);
const QColor kAccentDeep(0x1d, 0x7f, 0x86);
const QColor kRecord(0xe0, 0x4a, 0x3c);
const QColor kDisabled(0x5a, 0x60, 0x68);

QString out_dir;
std::vector<QString> written;
// Device pixels per pixel of the pictures being painted: 1 or 2.
int g_scale = 1;

void save(const QImage& image, const QString& name) {
    const QString file = g_scale == 1 ? name + ".png" : QString("%1@%2x.png").arg(name).arg(g_scale);
    const QString path = out_dir + "/" + file;
    // The file holds device pixels only; the program sets the ratio itself.
    QImage stored = image;
    stored.setDevicePixelRatio(1);
    if (!stored.save(path, "PNG")) qFatal("cannot write %s", qPrintable(path));
    written.push_back(file);
}

// A painter on it draws in the pictures' own pixels, whatever g_scale is.
QImage blank(int w, int h, int scale = g_scale) {
    QImage image(w * scale, h * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    return image;
}

// Rows and columns of whole pixels, as filled rectangles: an aliased line's
// pen would be centred between device rows at two device pixels per pixel.
void hline(QPainter& p, int y, int x0, int x1, const QColor& c) { p.fillRect(QRect(x0, y, x1 - x0 + 1, 1), c); }
void vline(QPainter& p, int x, int y0, int y1, const QColor& c) { p.fillRect(QRect(x, y0, 1, y1 - y0 + 1), c); }

void vertical_gradient(QPainter& p, const QRectF& r, QColor top, QColor bottom) {
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.fillRect(r, g);
}

// The top bar: a brushed slate band with a fine highlight line and a darker
// lower third where the command labels sit.
QImage top_fill(int w) {
    QImage image = blank(w, 101);
    QPainter p(&image);
    vertical_gradient(p, QRectF(0, 0, w, 46), QColor(0x2b, 0x31, 0x39), QColor(0x1c, 0x21, 0x27));
    vertical_gradient(p, QRectF(0, 46, w, 55), QColor(0x1a, 0x1e, 0x24), QColor(0x11, 0x14, 0x18));
    hline(p, 0, 0, w, QColor(0x45, 0x4e, 0x5a));
    hline(p, 45, 0, w, QColor(0x0a, 0x0c, 0x0f));
    hline(p, 46, 0, w, QColor(0x2c, 0x33, 0x3c));
    hline(p, 100, 0, w, kEdge);
    return image;
}

QImage bottom_fill(int w) {
    QImage image = blank(w, 51);
    QPainter p(&image);
    vertical_gradient(p, QRectF(0, 0, w, 51), QColor(0x24, 0x29, 0x30), QColor(0x10, 0x13, 0x17));
    hline(p, 0, 0, w, QColor(0x3d, 0x45, 0x50));
    hline(p, 50, 0, w, kEdge);
    return image;
}

// A vertical frame edge: dark outside, rim in the middle, fading into the body.
QImage side(int w, int h, bool left) {
    QImage image = blank(w, h);
    QPainter p(&image);
    for (int x = 0; x < w; ++x) {
        const int from_outside = left ? x : w - 1 - x;
        QColor c = from_outside == 0 ? kEdge : from_outside == 1 ? kRim : QColor(0x1b, 0x1f, 0x25).darker(100 + from_outside * 8);
        vline(p, x, 0, h, c);
    }
    return image;
}

// A corner piece of a band: the band's fill with the outer rim drawn in.
QImage corner(const QImage& fill, int w, bool left, bool rounded_top) {
    const int h = qRound(fill.deviceIndependentSize().height());
    QImage image = blank(w, h);
    QPainter p(&image);
    // The source rectangle counts the fill's device pixels.
    const int s = qRound(fill.devicePixelRatio());
    p.drawImage(QRect(0, 0, w, h), fill, QRect(0, 0, w * s, h * s));
    const int x_out = left ? 0 : w - 1;
    vline(p, x_out, 0, h, kEdge);
    const int x_rim = left ? 1 : w - 2;
    vline(p, x_rim, rounded_top ? 2 : 0, h - 1, kRim);
    if (rounded_top) vline(p, left ? 1 : w - 2, 0, 1, kEdge);
    return image;
}

QImage divider(int h) {
    QImage image = blank(2, h);
    QPainter p(&image);
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, Qt::transparent);
    g.setColorAt(0.5, QColor(0x08, 0x0a, 0x0c));
    g.setColorAt(1, Qt::transparent);
    p.fillRect(0, 0, 1, h, g);
    QLinearGradient g2(0, 0, 0, h);
    g2.setColorAt(0, Qt::transparent);
    g2.setColorAt(0.5, QColor(0x4a, 0x53, 0x5f));
    g2.setColorAt(1, Qt::transparent);
    p.fillRect(1, 0, 1, h, g2);
    return image;
}

// The word mark: a stylised sound wave in the accent colour and the name.
QImage logo() {
    QImage image = blank(370, 36);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath wave;
    for (int x = 0; x <= 40; ++x) {
        const double env = std::sin(x / 40.0 * M_PI);
        const double y = 18 - 13 * env * std::sin(x * 0.62);
        if (x == 0) wave.moveTo(4 + x, y);
        else wave.lineTo(4 + x, y);
    }
    p.setPen(QPen(kAccent, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(wave);
    p.setPen(QPen(kAccentDeep, 1.2));
    p.drawEllipse(QPointF(24, 18), 16.5, 16.5);
    QFont font("DejaVu Sans", 17, QFont::Bold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1.2);
    p.setFont(font);
    p.setPen(QColor(0, 0, 0, 160));
    p.drawText(QRectF(53, 1, 310, 36), Qt::AlignVCenter | Qt::AlignLeft, "MURRELPHONIC");
    QLinearGradient g(0, 6, 0, 30);
    g.setColorAt(0, QColor(0xf2, 0xf5, 0xf8));
    g.setColorAt(1, QColor(0x9a, 0xa6, 0xb3));
    p.setPen(QPen(QBrush(g), 1));
    p.drawText(QRectF(52, 0, 310, 36), Qt::AlignVCenter | Qt::AlignLeft, "MURRELPHONIC");
    QFont small("DejaVu Sans", 7);
    small.setLetterSpacing(QFont::AbsoluteSpacing, 1);
    p.setFont(small);
    p.setPen(kAccent);
    p.drawText(QRectF(292, 0, 78, 36), Qt::AlignVCenter | Qt::AlignLeft, "VOICE STUDIO");
    return image;
}

using Glyph = std::function<void(QPainter&, const QRectF&, const QColor&)>;

// One button state: a rounded plate whose rim lights up when highlighted and
// which sinks by a pixel when pressed.
void plate(QPainter& p, const QRectF& r, int state) {
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF body = r.adjusted(1.5, 1.5, -1.5, -1.5);
    QLinearGradient g(body.topLeft(), body.bottomLeft());
    switch (state) {
    case 0:
        g.setColorAt(0, QColor(0x37, 0x3e, 0x48));
        g.setColorAt(1, QColor(0x1d, 0x22, 0x28));
        break;
    case 1:
        g.setColorAt(0, QColor(0x42, 0x4b, 0x57));
        g.setColorAt(1, QColor(0x22, 0x29, 0x31));
        break;
    case 2:
        g.setColorAt(0, QColor(0x14, 0x17, 0x1b));
        g.setColorAt(1, QColor(0x27, 0x2d, 0x34));
        break;
    default:
        g.setColorAt(0, QColor(0x23, 0x27, 0x2d));
        g.setColorAt(1, QColor(0x1a, 0x1d, 0x22));
        break;
    }
    p.setPen(QPen(kEdge, 1));
    p.setBrush(g);
    p.drawRoundedRect(body, 4, 4);
    p.setBrush(Qt::NoBrush);
    const QColor rim = state == 1 ? kAccent : state == 2 ? kAccentDeep : state == 3 ? QColor(0x2a, 0x2f, 0x35) : kRim;
    p.setPen(QPen(rim, 1));
    p.drawRoundedRect(body.adjusted(1, 1, -1, -1), 3, 3);
}

QColor glyph_colour(int state) {
    switch (state) {
    case 1: return QColor(0xef, 0xfb, 0xfb);
    case 2: return kAccent;
    case 3: return kDisabled;
    default: return kGlyph;
    }
}

QImage button_strip(int w, int h, const Glyph& glyph, bool record = false) {
    QImage image = blank(w * 4, h);
    QPainter p(&image);
    for (int state = 0; state < 4; ++state) {
        const QRectF r(state * w, 0, w, h);
        plate(p, r, state);
        const QRectF inner = r.adjusted(3, 3, -3, -3).translated(state == 2 ? 1 : 0, state == 2 ? 1 : 0);
        QColor c = glyph_colour(state);
        if (record && state != 3) c = state == 1 ? kRecord.lighter(130) : kRecord;
        p.save();
        p.setRenderHint(QPainter::Antialiasing);
        glyph(p, inner, c);
        p.restore();
    }
    return image;
}

QPen glyph_pen(const QColor& c, double width = 1.8) {
    return QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void glyph_convert(QPainter& p, const QRectF& r, const QColor& c) {
    p.setPen(glyph_pen(c));
    const QPointF m = r.center();
    p.drawLine(QPointF(m.x() - 14, m.y() - 4), QPointF(m.x() + 12, m.y() - 4));
    p.drawLine(QPointF(m.x() + 8, m.y() - 8), QPointF(m.x() + 12, m.y() - 4));
    p.drawLine(QPointF(m.x() + 14, m.y() + 4), QPointF(m.x() - 12, m.y() + 4));
    p.drawLine(QPointF(m.x() - 8, m.y() + 8), QPointF(m.x() - 12, m.y() + 4));
}

void glyph_edit(QPainter& p, const QRectF& r, const QColor& c) {
    p.setPen(glyph_pen(c, 1.6));
    const QPointF m = r.center();
    const double heights[] = {3, 7, 11, 6, 9, 4, 12, 8, 5, 3};
    for (int i = 0; i < 10; ++i) {
        const double x = m.x() - 13.5 + i * 3;
        p.drawLine(QPointF(x, m.y() - heights[i] / 2), QPointF(x, m.y() + heights[i] / 2));
    }
    p.setPen(QPen(c, 1, Qt::DashLine));
    p.drawLine(QPointF(m.x() + 2, m.y() - 11), QPointF(m.x() + 2, m.y() + 11));
}

void glyph_mail(QPainter& p, const QRectF& r, const QColor& c) {
    p.setPen(glyph_pen(c, 1.6));
    const QPointF m = r.center();
    const QRectF env(m.x() - 12, m.y() - 8, 24, 16);
    p.drawRect(env);
    p.drawLine(env.topLeft(), QPointF(m.x(), m.y() + 1));
    p.drawLine(env.topRight(), QPointF(m.x(), m.y() + 1));
}

void glyph_text(QPainter& p, const QRectF& r, const QColor& c, const QString& text, int size) {
    QFont font("DejaVu Sans", size, QFont::Bold);
    p.setFont(font);
    p.setPen(c);
    p.drawText(r, Qt::AlignCenter, text);
}

void glyph_help(QPainter& p, const QRectF& r, const QColor& c) {
    p.setPen(glyph_pen(c, 1.6));
    p.drawEllipse(r.center(), 11, 11);
    glyph_text(p, r, c, "?", 12);
}

void glyph_about(QPainter& p, const QRectF& r, const QColor& c) {
    p.setPen(glyph_pen(c, 1.6));
    p.drawEllipse(r.center(), 11, 11);
    glyph_text(p, r.translated(0, 0.5), c, "i", 12);
}

void glyph_play(QPainter& p, const QRectF& r, const QColor& c) {
    const QPointF m = r.center();
    QPainterPath tri;
    tri.moveTo(m.x() - 5, m.y() - 7);
    tri.lineTo(m.x() + 7, m.y());
    tri.lineTo(m.x() - 5, m.y() + 7);
    tri.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(tri);
}

void glyph_pause(QPainter& p, const QRectF& r, const QColor& c) {
    const QPointF m = r.center();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRoundedRect(QRectF(m.x() - 6, m.y() - 7, 4, 14), 1, 1);
    p.drawRoundedRect(QRectF(m.x() + 2, m.y() - 7, 4, 14), 1, 1);
}

void glyph_stop(QPainter& p, const QRectF& r, const QColor& c) {
    const QPointF m = r.center();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRoundedRect(QRectF(m.x() - 6, m.y() - 6, 12, 12), 1.5, 1.5);
}

Glyph glyph_record(const QString& mode) {
    return [mode](QPainter& p, const QRectF& r, const QColor& c) {
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawEllipse(QPointF(r.left() + 9, r.center().y()), 5, 5);
        QFont font("DejaVu Sans", 7, QFont::Bold);
        p.setFont(font);
        p.setPen(c == kDisabled ? kDisabled : kGlyph);
        p.drawText(r.adjusted(15, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, mode);
    };
}

void glyph_minimise(QPainter& p, const QRectF& r, const QColor& c) {
    p.setPen(glyph_pen(c, 2));
    const QPointF m = r.center();
    p.drawLine(QPointF(m.x() - 6, m.y() + 5), QPointF(m.x() + 6, m.y() + 5));
}

void glyph_maximise(QPainter& p, const QRectF& r, const QColor& c) {
    p.setPen(glyph_pen(c, 1.6));
    const QPointF m = r.center();
    p.drawRect(QRectF(m.x() - 6, m.y() - 6, 12, 12));
    p.drawLine(QPointF(m.x() - 6, m.y() - 4), QPointF(m.x() + 6, m.y() - 4));
}

void glyph_restore(QPainter& p, const QRectF& r, const QColor& c) {
    p.setPen(glyph_pen(c, 1.4));
    const QPointF m = r.center();
    p.drawRect(QRectF(m.x() - 3, m.y() - 7, 10, 9));
    p.setBrush(QColor(0x24, 0x29, 0x30));
    p.drawRect(QRectF(m.x() - 7, m.y() - 3, 10, 9));
}

void glyph_close(QPainter& p, const QRectF& r, const QColor& c) {
    p.setPen(glyph_pen(c, 2));
    const QPointF m = r.center();
    p.drawLine(QPointF(m.x() - 5.5, m.y() - 5.5), QPointF(m.x() + 5.5, m.y() + 5.5));
    p.drawLine(QPointF(m.x() + 5.5, m.y() - 5.5), QPointF(m.x() - 5.5, m.y() + 5.5));
}

// State images of the playback display: recording, recording paused, playing,
// paused, stopped.
QImage state_image(int which) {
    QImage image = blank(22, 22);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x2a, 0x30, 0x37), 1));
    p.setBrush(QColor(0x08, 0x0a, 0x0c));
    p.drawRoundedRect(QRectF(0.5, 0.5, 21, 21), 3, 3);
    const QRectF r(3, 3, 16, 16);
    switch (which) {
    case 15: p.setPen(Qt::NoPen); p.setBrush(kRecord); p.drawEllipse(r.center(), 5, 5); break;
    case 16:
        p.setPen(Qt::NoPen);
        p.setBrush(kRecord.darker(160));
        p.drawEllipse(r.center(), 5, 5);
        glyph_pause(p, r, kRecord);
        break;
    case 17: glyph_play(p, r.adjusted(1, 0, 0, 0), kAccent); break;
    case 18: glyph_pause(p, r, kAccent); break;
    default: glyph_stop(p, r.adjusted(2, 2, -2, -2), kGlyph); break;
    }
    return image;
}

QImage meter_bar(int w, QColor from, QColor to) {
    QImage image = blank(w, 3);
    QPainter p(&image);
    QLinearGradient g(0, 0, w, 0);
    g.setColorAt(0, from);
    g.setColorAt(1, to);
    p.fillRect(0, 0, w, 3, g);
    p.fillRect(0, 0, w, 1, QColor(255, 255, 255, 60));
    return image;
}

// A slider track: a clear lane on top where the thumb rides, and below it a
// recessed groove whose three inner rows (14-16) take the meter bar that the
// player strip lays over the slider.
constexpr int kSliderHeight = 20;
constexpr int kGrooveTop = 13;

QImage slider_track(int w) {
    QImage image = blank(w, kSliderHeight);
    QPainter p(&image);
    // Shadow above, the groove's dark rim, its floor, a light bevel below.
    p.fillRect(QRect(2, kGrooveTop - 1, w - 4, 1), QColor(0, 0, 0, 70));
    p.fillRect(QRect(1, kGrooveTop, w - 2, 5), QColor(0x04, 0x05, 0x07));
    p.fillRect(QRect(0, kGrooveTop + 1, 1, 3), QColor(0x04, 0x05, 0x07, 150));
    p.fillRect(QRect(w - 1, kGrooveTop + 1, 1, 3), QColor(0x04, 0x05, 0x07, 150));
    QLinearGradient floor(0, kGrooveTop + 1, 0, kGrooveTop + 4);
    floor.setColorAt(0, QColor(0x08, 0x0a, 0x0d));
    floor.setColorAt(1, QColor(0x15, 0x19, 0x1f));
    p.fillRect(QRect(2, kGrooveTop + 1, w - 4, 3), floor);
    p.fillRect(QRect(2, kGrooveTop + 5, w - 4, 1), QColor(0x46, 0x4f, 0x5b, 200));
    return image;
}

// The thumb: a small metal plate with a point whose tip touches the groove at
// the thumb's centre, where the meter bar ends.
QImage slider_thumb() {
    const int w = 14, h = 14;
    QImage image = blank(w, h);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.moveTo(2.5, 0.5);
    shape.lineTo(w - 2.5, 0.5);
    shape.quadTo(w - 0.5, 0.5, w - 0.5, 2.5);
    shape.lineTo(w - 0.5, 8.0);
    shape.lineTo(w / 2.0, h - 0.5);
    shape.lineTo(0.5, 8.0);
    shape.lineTo(0.5, 2.5);
    shape.quadTo(0.5, 0.5, 2.5, 0.5);
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, QColor(0xe6, 0xeb, 0xf0));
    g.setColorAt(0.55, QColor(0xa9, 0xb3, 0xbe));
    g.setColorAt(1, QColor(0x6c, 0x77, 0x84));
    p.setPen(QPen(kEdge, 1));
    p.setBrush(g);
    p.drawPath(shape);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(QRect(1, 1, w - 2, 1), QColor(255, 255, 255, 110));
    // A grip groove down the centre line.
    p.fillRect(QRect(w / 2 - 1, 3, 1, 5), QColor(0x3a, 0x42, 0x4c));
    p.fillRect(QRect(w / 2, 3, 1, 5), kAccentDeep);
    return image;
}

// The program's medallion: the word mark's wave in a dark disc, on a
// 120-unit grid. It is the about box picture, the window icon and the
// desktop's icon; the bitmaps and the SVG are drawn from these same numbers.
namespace medallion {
constexpr double kGrid = 120;
const QPointF kShine(48, 44);  // centre of the body's radial gradient
constexpr double kShineRadius = 70;
const QColor kShineInner(0x31, 0x38, 0x42);
const QColor kShineOuter(0x0b, 0x0d, 0x10);
const QRectF kDisc(4, 4, 112, 112);
constexpr double kBodyRim = 1.5;
const QRectF kRing(12, 12, 96, 96);
constexpr double kRingWidth = 1;
constexpr double kWaveWidth = 3;

std::vector<QPointF> wave() {
    std::vector<QPointF> points;
    for (int x = 0; x <= 80; ++x) {
        const double env = std::sin(x / 80.0 * M_PI);
        points.emplace_back(20 + x, 60 - 30 * env * std::sin(x * 0.31));
    }
    return points;
}

QString svg() {
    auto hex = [](const QColor& c) { return c.name(QColor::HexRgb); };
    auto circle = [](const QRectF& r) {
        return QString("cx=\"%1\" cy=\"%2\" r=\"%3\"").arg(r.center().x()).arg(r.center().y()).arg(r.width() / 2);
    };
    QString path;
    for (const QPointF& pt : wave()) path += QString(path.isEmpty() ? "M%1,%2" : " L%1,%2").arg(pt.x()).arg(pt.y(), 0, 'f', 3);
    return QString("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%1\" viewBox=\"0 0 %1 %1\">\n"
                   "  <defs>\n"
                   "    <radialGradient id=\"shine\" gradientUnits=\"userSpaceOnUse\" cx=\"%2\" cy=\"%3\" r=\"%4\">\n"
                   "      <stop offset=\"0\" stop-color=\"%5\"/>\n"
                   "      <stop offset=\"1\" stop-color=\"%6\"/>\n"
                   "    </radialGradient>\n"
                   "  </defs>\n"
                   "  <circle %7 fill=\"url(#shine)\" stroke=\"%8\" stroke-width=\"%9\"/>\n")
               .arg(kGrid).arg(kShine.x()).arg(kShine.y()).arg(kShineRadius)
               .arg(hex(kShineInner), hex(kShineOuter), circle(kDisc), hex(kRim)).arg(kBodyRim) +
           QString("  <circle %1 fill=\"none\" stroke=\"%2\" stroke-width=\"%3\"/>\n"
                   "  <path d=\"%4\" fill=\"none\" stroke=\"%5\" stroke-width=\"%6\" stroke-linecap=\"round\" "
                   "stroke-linejoin=\"round\"/>\n</svg>\n")
               .arg(circle(kRing), hex(kAccentDeep)).arg(kRingWidth).arg(path, hex(kAccent)).arg(kWaveWidth);
}
}  // namespace medallion

// The medallion painted at `size` pixels: every size is drawn, never scaled
// from another, so the small icons stay crisp.
QImage about_picture(int size = 120, int scale = g_scale) {
    using namespace medallion;
    QImage image = blank(size, size, scale);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / kGrid, size / kGrid);
    QRadialGradient g(kShine, kShineRadius);
    g.setColorAt(0, kShineInner);
    g.setColorAt(1, kShineOuter);
    p.setPen(QPen(kRim, kBodyRim));
    p.setBrush(g);
    p.drawEllipse(kDisc);
    p.setPen(QPen(kAccentDeep, kRingWidth));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(kRing);
    QPainterPath path;
    const std::vector<QPointF> points = wave();
    path.moveTo(points.front());
    for (size_t i = 1; i < points.size(); ++i) path.lineTo(points[i]);
    p.setPen(QPen(kAccent, kWaveWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
    return image;
}

// The desktop's copies of the medallion, in the icon theme's layout: the
// program's icon and the voice files' (a file manager shows the program's
// mark on them) at <folder>/hicolor/NxN/{apps,mimetypes}/ and as SVG under
// scalable/.
void write_theme_icons(const QString& folder) {
    const std::pair<const char*, const char*> kinds[] = {{"apps", "murrelphonic"},
                                                          {"mimetypes", "audio-x-murrelphonic-voice"}};
    auto folder_of = [&](const QString& size, const char* kind) {
        const QString dir = QString("%1/hicolor/%2/%3").arg(folder, size, kind);
        if (!QDir().mkpath(dir)) qFatal("cannot make %s", qPrintable(dir));
        return dir + "/";
    };
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256, 512}) {
        const QImage image = about_picture(size, 1);
        for (const auto& [kind, name] : kinds) {
            const QString path = folder_of(QString("%1x%1").arg(size), kind) + name + ".png";
            if (!image.save(path, "PNG")) qFatal("cannot write %s", qPrintable(path));
        }
    }
    for (const auto& [kind, name] : kinds) {
        QFile f(folder_of("scalable", kind) + name + ".svg");
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(medallion::svg().toUtf8()) < 0)
            qFatal("cannot write %s", qPrintable(f.fileName()));
    }
}

// A small toolbar icon for the browser strip (16 × 16).
QImage tool_icon(const Glyph& glyph) {
    QImage image = blank(16, 16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    glyph(p, QRectF(0, 0, 16, 16), kGlyph);
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    if (argc < 2) {
        qWarning("usage: skin_painter <output folder> [<icon theme folder>]");
        return 2;
    }
    out_dir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out_dir);

    for (int scale : {1, 2}) {
        g_scale = scale;
        const QImage top = top_fill(64);
        const QImage bottom = bottom_fill(64);
        save(top, "skin_0");
        save(bottom, "skin_1");
        save(meter_bar(200, kAccentDeep, kAccent), "skin_2");
        save(meter_bar(400, kAccentDeep, QColor(0x9a, 0xe8, 0xe4)), "skin_3");
        save(slider_track(100), "skin_4");
        save(slider_thumb(), "skin_5");
        save(slider_track(400), "skin_6");
        save(slider_thumb(), "skin_7");

        save(button_strip(76, 35, glyph_convert), "button_0");
        save(button_strip(76, 35, glyph_edit), "button_1");
        save(button_strip(76, 35, glyph_mail), "button_2");
        save(button_strip(76, 35, glyph_help), "button_3");
        save(button_strip(76, 35, glyph_about), "button_4");
        save(button_strip(38, 30, glyph_play), "button_5");
        save(button_strip(38, 30, glyph_pause), "button_6");
        save(button_strip(38, 30, glyph_stop), "button_7");
        save(button_strip(46, 30, glyph_record("SHQ"), true), "button_8");
        save(button_strip(46, 30, glyph_record("HQ"), true), "button_9");
        save(button_strip(46, 30, glyph_record("SP"), true), "button_10");
        save(button_strip(30, 28, glyph_minimise), "button_11");
        save(button_strip(30, 28, glyph_maximise), "button_12");
        save(button_strip(30, 28, glyph_restore), "button_13");
        save(button_strip(30, 28, glyph_close), "button_14");
        for (int i = 15; i <= 19; ++i) save(state_image(i), QString("button_%1").arg(i));

        save(corner(top, 5, true, true), "topleft");
        save(corner(top, 13, false, true), "topright");
        save(logo(), "logo");
        save(divider(40), "divider");
        save(side(7, 16, true), "midleft");
        save(side(7, 16, false), "midright");
        save(corner(bottom, 7, true, false), "bottomleft");
        save(corner(bottom, 32, false, false), "rightdown");
        save(divider(34), "strip_divider");
        save(about_picture(), "about");
        // The window icons are exact sizes already, one set serves every screen.
        if (g_scale == 1)
            for (int size : {16, 24, 32, 48, 64, 128, 256}) save(about_picture(size), QString("icon_%1").arg(size));

        save(tool_icon([](QPainter& p, const QRectF&, const QColor& c) {
                 p.setPen(glyph_pen(c, 1.6));
                 p.drawLine(QPointF(8, 13), QPointF(8, 3));
                 p.drawLine(QPointF(4, 7), QPointF(8, 3));
                 p.drawLine(QPointF(12, 7), QPointF(8, 3));
             }), "tool_up");
        save(tool_icon([](QPainter& p, const QRectF&, const QColor& c) {
                 p.setPen(glyph_pen(c, 1.3));
                 p.drawRect(QRectF(1.5, 4.5, 13, 9));
                 p.drawLine(QPointF(1.5, 4.5), QPointF(4, 2.5));
                 p.drawLine(QPointF(4, 2.5), QPointF(7.5, 2.5));
                 p.setPen(glyph_pen(kAccent, 1.6));
                 p.drawLine(QPointF(8, 7), QPointF(8, 12));
                 p.drawLine(QPointF(5.5, 9.5), QPointF(10.5, 9.5));
             }), "tool_newfolder");
        save(tool_icon([](QPainter& p, const QRectF&, const QColor& c) {
                 p.setPen(Qt::NoPen);
                 p.setBrush(c);
                 for (int i = 0; i < 3; ++i) p.drawRect(QRectF(2, 2.5 + i * 4, 3, 2.5));
                 for (int i = 0; i < 3; ++i) p.drawRect(QRectF(6.5, 2.5 + i * 4, 8, 2.5));
             }), "tool_view");
        save(tool_icon([](QPainter& p, const QRectF&, const QColor& c) {
                 p.setPen(glyph_pen(c, 1.2));
                 p.drawRect(QRectF(1.5, 1.5, 8, 10));
                 p.setBrush(QColor(0x24, 0x29, 0x30));
                 p.drawRect(QRectF(6.5, 4.5, 8, 10));
             }), "tool_copy");
        save(tool_icon([](QPainter& p, const QRectF&, const QColor& c) {
                 p.setPen(glyph_pen(c, 1.2));
                 p.drawRect(QRectF(2.5, 2.5, 11, 12));
                 p.setBrush(kAccentDeep);
                 p.drawRect(QRectF(5.5, 1, 5, 3));
             }), "tool_paste");
    }

    if (argc > 2) write_theme_icons(QString::fromLocal8Bit(argv[2]));

    QFile qrc(out_dir + "/skin.qrc");
    if (!qrc.open(QIODevice::WriteOnly | QIODevice::Truncate)) qFatal("cannot write skin.qrc");
    QTextStream s(&qrc);
    s << "<RCC>\n  <qresource prefix=\"/skin\">\n";
    for (const QString& name : written) s << "    <file>" << name << "</file>\n";
    s << "  </qresource>\n</RCC>\n";
    return 0;
}
