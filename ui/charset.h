#pragma once
// The configured font character set applied to a control: its font gains a
// family that can write the character set's script. The character set's low
// byte is kept on the widget as the property "charset" so that it can be
// inspected.
#include <QFontDatabase>

#include "shell/textcodec.h"

class QWidget;

namespace murrel::ui {

QFontDatabase::WritingSystem to_qt(WritingSystem ws);

void apply_charset(QWidget* widget, int32_t charset);

}  // namespace murrel::ui
