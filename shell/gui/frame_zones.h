#pragma once
// Which part of the borderless main window's frame the cursor is over, and
// what a press there does. Pure functions of the cursor's screen position and
// the window's screen rectangle, so that every boundary can be checked without
// a window system.
#include <QPoint>
#include <QRect>
#include <Qt>

namespace murrel {

// Tested in this order: corners (11 pixels) win over edges (6 pixels).
enum class FrameZone { TopLeft, TopRight, BottomLeft, BottomRight, Left, Right, Top, Bottom, Inside };

FrameZone frame_zone(QPoint cursor, const QRect& window);

Qt::CursorShape zone_cursor(FrameZone zone);
// The window edges a resize from this zone moves; none for Inside.
Qt::Edges zone_edges(FrameZone zone);
// The hit-test code of the original design (HTLEFT 10 … HTBOTTOMRIGHT 17; 0 inside).
int zone_hit_test(FrameZone zone);

enum class FrameAction { None, Resize, Move };

// A left press on the top bar: resize in a border zone, move when the cursor
// lies strictly more than 6 pixels inside every edge, nothing while maximised.
// Frame controls other than the top bar pass `can_move` false.
FrameAction frame_press_action(QPoint cursor, const QRect& window, bool maximised, bool can_move);

}  // namespace murrel
