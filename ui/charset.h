#pragma once
// The configured font character set (low byte of Character/Charset, a Windows
// character-set number) applied to a control: its font switches to a family
// that can write that script. The value is kept on the widget as the property
// "charset" so that it can be inspected.
#include <QFontDatabase>

class QWidget;

namespace murrel::ui {

// The writing system a character set number stands for; Any for the default
// sets (0 ANSI, 1 default) and numbers it does not know.
QFontDatabase::WritingSystem writing_system_of(int charset_byte);

void apply_charset(QWidget* widget, int charset);

}  // namespace murrel::ui
