#include "shell/gui/form_edit.h"

namespace murrel {

Tform_edit::Tform_edit(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
    setObjectName("Tform_edit");
    setWindowTitle("Voice Editor");
    resize(800, 560);
    hide();
}

}  // namespace murrel
