#pragma once
// Where a person finds the main window's controls, in its opening size
// (853 × 612, frameless): points relative to its top-left corner. The bottom
// strip and the list keep these places as long as the window is not resized.
#include <QPoint>

#include <chrono>
#include <thread>

#include "testsupport/e2e/desktop.h"

namespace murrel::e2e::layout {

inline constexpr int kWidth = 853;
inline constexpr int kHeight = 612;

// The file list in its details view: the first row's name, 18 pixels a row.
inline QPoint list_row(int row) { return {290, 209 + 18 * row}; }
inline constexpr QPoint kListEmpty{500, 480};

// The folder tree's second visible row (the first shows the listed folder).
inline constexpr QPoint kTreeRowBelowListed{150, 205};

inline constexpr QPoint kConvert{55, 66};
inline constexpr QPoint kWavEdit{133, 66};
inline constexpr QPoint kMail{212, 66};
// The browser strip's tool buttons, 24 pixels each after the drive selector.
inline constexpr QPoint kNewFolder{227, 161};
inline constexpr QPoint kCopy{279, 161};
inline constexpr QPoint kPaste{305, 161};
inline constexpr QPoint kShqRecord{37, 587};
inline constexpr QPoint kHqRecord{85, 587};
inline constexpr QPoint kSpRecord{133, 587};
inline constexpr QPoint kPlay{191, 587};
inline constexpr QPoint kPause{231, 587};
inline constexpr QPoint kStop{270, 587};
inline constexpr QPoint kDriveSelector{95, 161};
inline constexpr QPoint kAddress{500, 161};

// The sliders' tracks, from their leftmost to their rightmost thumb centre.
inline QPoint position_slider(double fraction) { return {437 + static_cast<int>(fraction * (815 - 437)), 590}; }
inline QPoint volume_slider(double fraction) { return {312 + static_cast<int>(fraction * (403 - 312)), 590}; }

// The Voice Editor, screen-wide: below its caption (22) each pane has a title
// bar and a button row (50) over its panel; the two panels share the height
// the transport bar (51), the status bar (22) and 137 pixels leave. A panel
// holds, inside a 2-pixel frame, the views and at its foot the range slider
// (16).
inline int editor_panel(QSize window) { return (window.height() - 51 - 22 - 137) / 2; }
inline int editor_lower_top(QSize window) { return 22 + 4 + 50 + editor_panel(window) + 7; }
// The foot of the lower pane's zoomed view (or of its envelope view when shown).
inline int editor_lower_bottom(QSize window) { return editor_lower_top(window) + 50 + editor_panel(window) - 2 - 16; }
// A point on the lower pane's zoomed view, `fraction` of the way across.
inline QPoint editor_lower_wave(QSize window, double fraction) {
    return {12 + static_cast<int>(fraction * (window.width() - 24)), editor_lower_bottom(window) - 80};
}
// A point on the lower pane's envelope view (60 pixels high when first shown,
// a 3-pixel border inside): `fraction` across, at `gain` (1.0 = unity, 2.0 top).
inline QPoint editor_lower_envelope(QSize window, double fraction, double gain) {
    const int top = editor_lower_bottom(window) - 60;
    return {6 + 3 + static_cast<int>(fraction * (window.width() - 12 - 7) + 0.5),
            top + 3 + static_cast<int>((1.0 - gain / 2.0) * 53 + 0.5)};
}
inline QPoint editor_lower_file_menu(QSize window) { return {112, editor_lower_top(window) + 13}; }
inline QPoint editor_exit(QSize window) { return {window.width() - 45 + 10, 11}; }

inline void pause_s(double s) { std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(s * 1000))); }

// What the sink hears while a person selects `row`, presses play, listens
// for `seconds` and presses stop.
inline std::vector<int16_t> hear_row(Program& program, int row, double seconds) {
    SinkRecording sink;
    program.click(list_row(row));
    program.click(kPlay);
    pause_s(seconds);
    program.click(kStop);
    return sink.stop();
}

}  // namespace murrel::e2e::layout
