#pragma once
// The Voice Editor's window as the program creates it at start-up: an empty,
// hidden window in the creation order. The editor's own window takes its place
// when it exists; until then the main window disables and maximises it like any
// other window.
#include <QWidget>

namespace murrel {

class Tform_edit : public QWidget {
    Q_OBJECT
public:
    explicit Tform_edit(QWidget* parent = nullptr);
};

}  // namespace murrel
