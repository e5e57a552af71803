#pragma once
// The skin's bitmaps, embedded in the program. Indices follow the two bitmap
// lists of the main window: the skin list (0 top-bar fill, 1 bottom-strip fill,
// 2 volume meter bar, 3 position meter bar, 4 volume track, 5 volume thumb,
// 6 position track, 7 position thumb) and the button list (0-14 buttons as
// strips of four states side by side, 15-19 the playback state images).
#include <QColor>
#include <QIcon>
#include <QPalette>
#include <QPixmap>
#include <QString>

class QWidget;

namespace murrel::ui {

enum SkinImage { SkinTopFill = 0, SkinBottomFill, SkinVolumeMeter, SkinPositionMeter,
                 SkinVolumeTrack, SkinVolumeThumb, SkinPositionTrack, SkinPositionThumb };

enum ButtonImage { ButtonConvert = 0, ButtonEdit, ButtonMail, ButtonHelp, ButtonAbout,
                   ButtonPlay, ButtonPause, ButtonStop, ButtonShqRecord, ButtonHqRecord,
                   ButtonSpRecord, ButtonMinimise, ButtonMaximise, ButtonRestore, ButtonClose,
                   StateRecording, StateRecordingPaused, StatePlaying, StatePaused, StateStopped };

// The pictures come at the device pixel ratio of skin_pixel_ratio(): their
// width() and height() count device pixels; their size in a widget's
// coordinates is logical_size().
QPixmap skin_image(int index);
// The slider tracks (4, 6) have a groove whose floor, three rows high, starts
// this many rows below the image's top: the meter bars are laid over it.
inline constexpr int kSliderMeterRow = 14;
QPixmap button_image(int index);
// Frame pieces and pictures by name: "topleft", "topright", "logo", "divider",
// "midleft", "midright", "bottomleft", "rightdown", "strip_divider", "about", "icon",
// "tool_up", "tool_newfolder", "tool_view", "tool_copy", "tool_paste".
QPixmap frame_image(const QString& name);
// 2 when any screen scales the interface (and the pictures painted for two
// device pixels per pixel are used), else 1.
int skin_pixel_ratio();
QSize logical_size(const QPixmap& pixmap);

// The colours the skin is painted in, for widgets drawn in code.
namespace colours {
inline const QColor body{0x0e, 0x11, 0x15};
inline const QColor panel{0x1b, 0x1f, 0x25};
inline const QColor panel_light{0x2a, 0x30, 0x38};
inline const QColor rim{0x4c, 0x55, 0x61};
inline const QColor text{0xc9, 0xd2, 0xdc};
inline const QColor text_dim{0x7d, 0x86, 0x91};
inline const QColor accent{0x3f, 0xc8, 0xc4};
inline const QColor accent_deep{0x1d, 0x7f, 0x86};
}  // namespace colours

// A style sheet giving the standard widgets (edits, combo boxes, lists, trees,
// menus, progress bars) the skin's dark look.
QString dark_style_sheet();

// Every colour role of the skin's dark look, for all three colour groups; the
// disabled texts stay dim, every enabled text keeps at least 4.5:1 against the
// background it is drawn on.
QPalette dark_palette();

// Gives a dialog the skin's dark palette, style sheet and the program's icon.
void paint_dark_dialog(QWidget* dialog);

// The program's logo as a window icon, for every window.
QIcon program_icon();

// Moves a top-level `window` so that it is centred over `owner`'s window (over
// the primary screen when `owner` is null or hidden), kept on that screen.
// Uses the size the window's layout gives it.
void centre_over(QWidget* window, const QWidget* owner);
// Centres `window` over `owner` when it is next shown, and again while it
// settles its size before its first paint.
void centre_when_shown(QWidget* window, const QWidget* owner);

}  // namespace murrel::ui
