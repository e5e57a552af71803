#pragma once
// Hands a window's catalogue texts to its controls: captions and panel captions
// become the control's text, hints its tool tip; the listed controls take the
// character set. Controls are found by object name under `root` (widgets and
// actions, pop-up menu items included).
#include "shell/catalogue.h"

class QObject;
class QString;
class QWidget;

namespace murrel::ui {

void apply_window_texts(QWidget* root, const WindowTexts& texts);

// Sets `text` as the caption of a label, button, action, line edit or window.
void set_caption(QObject* control, const QString& text);

}  // namespace murrel::ui
