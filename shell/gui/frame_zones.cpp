#include "shell/gui/frame_zones.h"

namespace murrel {

FrameZone frame_zone(QPoint cursor, const QRect& window) {
    const int x = cursor.x(), y = cursor.y();
    const int L = window.left(), T = window.top(), W = window.width(), H = window.height();
    if (x <= L + 11 && y <= T + 11) return FrameZone::TopLeft;
    if (x >= L + W - 11 && y <= T + 11) return FrameZone::TopRight;
    if (x <= L + 11 && y >= T + H - 11) return FrameZone::BottomLeft;
    if (x >= L + W - 11 && y >= T + H - 11) return FrameZone::BottomRight;
    if (x <= L + 6) return FrameZone::Left;
    if (x >= L + W - 6) return FrameZone::Right;
    if (y <= T + 6) return FrameZone::Top;
    if (y >= T + H - 6) return FrameZone::Bottom;
    return FrameZone::Inside;
}

Qt::CursorShape zone_cursor(FrameZone zone) {
    switch (zone) {
    case FrameZone::TopLeft:
    case FrameZone::BottomRight: return Qt::SizeFDiagCursor;
    case FrameZone::TopRight:
    case FrameZone::BottomLeft: return Qt::SizeBDiagCursor;
    case FrameZone::Left:
    case FrameZone::Right: return Qt::SizeHorCursor;
    case FrameZone::Top:
    case FrameZone::Bottom: return Qt::SizeVerCursor;
    case FrameZone::Inside: break;
    }
    return Qt::ArrowCursor;
}

Qt::Edges zone_edges(FrameZone zone) {
    switch (zone) {
    case FrameZone::TopLeft: return Qt::TopEdge | Qt::LeftEdge;
    case FrameZone::TopRight: return Qt::TopEdge | Qt::RightEdge;
    case FrameZone::BottomLeft: return Qt::BottomEdge | Qt::LeftEdge;
    case FrameZone::BottomRight: return Qt::BottomEdge | Qt::RightEdge;
    case FrameZone::Left: return Qt::LeftEdge;
    case FrameZone::Right: return Qt::RightEdge;
    case FrameZone::Top: return Qt::TopEdge;
    case FrameZone::Bottom: return Qt::BottomEdge;
    case FrameZone::Inside: break;
    }
    return {};
}

int zone_hit_test(FrameZone zone) {
    switch (zone) {
    case FrameZone::TopLeft: return 13;
    case FrameZone::TopRight: return 14;
    case FrameZone::BottomLeft: return 16;
    case FrameZone::BottomRight: return 17;
    case FrameZone::Left: return 10;
    case FrameZone::Right: return 11;
    case FrameZone::Top: return 12;
    case FrameZone::Bottom: return 15;
    case FrameZone::Inside: break;
    }
    return 0;
}

FrameAction frame_press_action(QPoint cursor, const QRect& window, bool maximised, bool can_move) {
    if (maximised) return FrameAction::None;
    if (frame_zone(cursor, window) != FrameZone::Inside) return FrameAction::Resize;
    if (!can_move) return FrameAction::None;
    const int x = cursor.x(), y = cursor.y();
    const int L = window.left(), T = window.top(), W = window.width(), H = window.height();
    const bool inside = L + 6 < x && x < L + W - 6 && T + 6 < y && y < T + H - 6;
    return inside ? FrameAction::Move : FrameAction::None;
}

}  // namespace murrel
