#include "ui/accessible.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHash>
#include <QWidget>

namespace murrel::ui {

namespace {

// A read-only text: the reading, whole, with one line and no caret.
class ReadoutInterface : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    ReadoutInterface(QWidget* widget, QAccessible::Role role, std::function<QString()> reading)
        : QAccessibleWidget(widget, role), reading_(std::move(reading)) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return reading_();
        return QAccessibleWidget::text(t);
    }
    // Its LEDs are parts of one reading, not readings of their own.
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    // QAccessibleTextInterface
    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int start, int end) const override {
        const QString all = reading_();
        if (end < 0 || end > all.size()) end = all.size();
        start = qBound(0, start, end);
        return all.mid(start, end - start);
    }
    int characterCount() const override { return reading_().size(); }
    QRect characterRect(int) const override { return rect(); }
    int offsetAtPoint(const QPoint&) const override { return 0; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* start, int* end) const override {
        *start = *end = offset;
        return {};
    }

private:
    std::function<QString()> reading_;
};

struct Registered {
    QAccessible::Role role;
    std::function<QString()> reading;
};

QHash<const QWidget*, Registered>& registered() {
    static QHash<const QWidget*, Registered> widgets;
    return widgets;
}

QAccessibleInterface* factory(const QString&, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget) return nullptr;
    if (const auto* readout = dynamic_cast<const AccessibleReadout*>(widget))
        return new ReadoutInterface(widget, QAccessible::StaticText, [readout] { return readout->readout(); });
    const auto it = registered().constFind(widget);
    if (it != registered().constEnd()) return new ReadoutInterface(widget, it->role, it->reading);
    return nullptr;
}

}  // namespace

void AccessibleReadout::changed(QWidget* widget, const QString& before, const QString& after) {
    if (before == after || !QAccessible::isActive()) return;
    QAccessibleTextUpdateEvent event(widget, 0, before, after);
    QAccessible::updateAccessibility(&event);
}

void set_readout(QWidget* widget, QAccessible::Role role, std::function<QString()> reading) {
    if (!widget) return;
    const bool known = registered().contains(widget);
    registered().insert(widget, Registered{role, std::move(reading)});
    if (!known) QObject::connect(widget, &QObject::destroyed, [widget] { registered().remove(widget); });
}

void install_accessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    (void)installed;
}

}  // namespace murrel::ui
