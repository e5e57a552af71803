#pragma once
// What a screen reader needs from the widgets we paint ourselves: a role, a
// name and the value a person would read off the screen. Widgets that show a
// reading (LED displays, meters) implement AccessibleReadout; the program
// installs the factory once and the desktop's accessibility bridge then finds
// them like any toolkit widget.
#include <QAccessible>
#include <QString>
#include <functional>

class QWidget;

namespace murrel::ui {

class AccessibleReadout {
public:
    virtual ~AccessibleReadout() = default;
    // What the widget shows now, as text ("00:01:23", "SP", "-12 dB").
    virtual QString readout() const = 0;
    // Call after the reading changed, so that a screen reader following the
    // widget hears the new value. Cheap when no assistive technology listens.
    static void changed(QWidget* widget, const QString& before, const QString& after);
};

// For widgets whose class cannot carry AccessibleReadout (views built from
// panel classes shared with other windows): the role and the reading, asked
// for each time a screen reader reads the widget. Register right after the
// widget is made, before it is named or shown: the toolkit keeps the first
// interface it made for a widget. The registration ends with the widget.
void set_readout(QWidget* widget, QAccessible::Role role, std::function<QString()> reading);

// Idempotent. Before the first widget is built: the toolkit makes and keeps
// a widget's interface as soon as the widget is named.
void install_accessibility();

}  // namespace murrel::ui
