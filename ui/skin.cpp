#include "ui/skin.h"

#include <algorithm>

#include <QGuiApplication>
#include <QLayout>
#include <QPalette>
#include <QPointer>
#include <QEvent>
#include <QFile>
#include <QPixmapCache>
#include <QScreen>
#include <QWidget>

// The resource initialiser must be declared at global scope.
static void init_skin_resources() { Q_INIT_RESOURCE(skin); }

namespace murrel::ui {

namespace {
QPixmap load(const QString& name) {
    static const bool initialised = (init_skin_resources(), true);
    (void)initialised;
    const int ratio = skin_pixel_ratio();
    QString path = ":/skin/" + name + ".png";
    bool sharp = false;
    if (ratio > 1) {
        const QString sharp_path = QString(":/skin/%1@%2x.png").arg(name).arg(ratio);
        sharp = QFile::exists(sharp_path);
        if (sharp) path = sharp_path;
    }
    QPixmap pixmap;
    if (!QPixmapCache::find(path, &pixmap)) {
        pixmap.load(path);
        // Painted at that many device pixels per pixel: drawn at its own
        // size in the widgets' coordinates, every device pixel its own.
        if (sharp) pixmap.setDevicePixelRatio(ratio);
        QPixmapCache::insert(path, pixmap);
    }
    return pixmap;
}
}  // namespace

int skin_pixel_ratio() {
    // The sharpest screen decides: a picture made for two device pixels
    // shrinks on a plain screen without losing much, while one made for one
    // grows blurred. A ratio between one and two takes the sharper pictures.
    const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    return ratio > 1.0 ? 2 : 1;
}

QSize logical_size(const QPixmap& pixmap) { return pixmap.deviceIndependentSize().toSize(); }

QPixmap skin_image(int index) { return load(QString("skin_%1").arg(index)); }
QPixmap button_image(int index) { return load(QString("button_%1").arg(index)); }
QPixmap frame_image(const QString& name) { return load(name); }

QPalette dark_palette() {
    QPalette pal;
    const QColor base(0x0b, 0x0d, 0x10);
    const QColor disabled_text(0x5a, 0x60, 0x68);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool off = group == QPalette::Disabled;
        const QColor text = off ? disabled_text : colours::text;
        pal.setColor(group, QPalette::Window, colours::panel);
        pal.setColor(group, QPalette::WindowText, text);
        pal.setColor(group, QPalette::Base, base);
        pal.setColor(group, QPalette::AlternateBase, colours::body);
        pal.setColor(group, QPalette::Text, text);
        pal.setColor(group, QPalette::PlaceholderText, colours::text_dim);
        pal.setColor(group, QPalette::Button, colours::panel_light);
        pal.setColor(group, QPalette::ButtonText, text);
        pal.setColor(group, QPalette::BrightText, Qt::white);
        pal.setColor(group, QPalette::Light, colours::rim);
        pal.setColor(group, QPalette::Midlight, colours::panel_light);
        pal.setColor(group, QPalette::Mid, colours::panel);
        pal.setColor(group, QPalette::Dark, colours::body);
        pal.setColor(group, QPalette::Shadow, Qt::black);
        pal.setColor(group, QPalette::Highlight, off ? colours::panel_light : colours::accent_deep);
        pal.setColor(group, QPalette::HighlightedText, off ? disabled_text : QColor(Qt::white));
        pal.setColor(group, QPalette::ToolTipBase, colours::panel);
        pal.setColor(group, QPalette::ToolTipText, colours::text);
        pal.setColor(group, QPalette::Link, colours::accent);
        pal.setColor(group, QPalette::LinkVisited, colours::accent_deep);
    }
    return pal;
}

void paint_dark_dialog(QWidget* dialog) {
    dialog->setAutoFillBackground(true);
    dialog->setPalette(dark_palette());
    dialog->setStyleSheet(dark_style_sheet());
    dialog->setWindowIcon(program_icon());
}

QIcon program_icon() {
    static const QIcon icon = [] {
        QIcon i;
        for (int size : {16, 24, 32, 48, 64, 128, 256}) i.addPixmap(load(QStringLiteral("icon_%1").arg(size)));
        return i;
    }();
    return icon;
}

void centre_over(QWidget* window, const QWidget* owner) {
    const QWidget* over = owner ? owner->window() : nullptr;
    QScreen* screen = over && over->isVisible() ? over->screen() : QGuiApplication::primaryScreen();
    const QRect area = over && over->isVisible() ? over->frameGeometry()
                       : screen                 ? screen->availableGeometry()
                                                : QRect();
    if (!area.isValid()) return;
    if (QLayout* layout = window->layout()) layout->activate();  // the size it is about to take
    const QSize size = window->frameGeometry().size().expandedTo(window->size());
    QPoint top_left(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2);
    if (screen) {
        // Never partly off the screen, where its caption could not be reached.
        const QRect desk = screen->availableGeometry();
        top_left.setX(std::clamp(top_left.x(), desk.left(), std::max(desk.left(), desk.right() + 1 - size.width())));
        top_left.setY(std::clamp(top_left.y(), desk.top(), std::max(desk.top(), desk.bottom() + 1 - size.height())));
    }
    window->move(top_left);
}

namespace {
// Keeps a window centred while it settles its size around being shown (some
// dialogs resize themselves after the toolkit placed them); gone after the
// first paint, so the user can move the window afterwards.
class CentreWhileSettling final : public QObject {
public:
    CentreWhileSettling(QWidget* window, const QWidget* owner) : QObject(window), window_(window), owner_(owner) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::Resize:
            if (window_->isVisible()) centre_over(window_, owner_);
            break;
        case QEvent::Paint: deleteLater(); break;
        default: break;
        }
        return false;
    }

private:
    QWidget* window_;
    QPointer<const QWidget> owner_;
};
}  // namespace

void centre_when_shown(QWidget* window, const QWidget* owner) { new CentreWhileSettling(window, owner); }

QString dark_style_sheet() {
    return QStringLiteral(
        "QWidget { color: #c9d2dc; }"
        "QLineEdit, QComboBox, QTreeView, QListView, QTableView, QTreeWidget, QListWidget {"
        "  background: #0b0d10; border: 1px solid #2c333c; selection-background-color: #1d7f86;"
        "  selection-color: #ffffff; }"
        "QComboBox QAbstractItemView { background: #0b0d10; }"
        "QAbstractSpinBox { background: #0b0d10; selection-background-color: #1d7f86; }"
        "QDialog, QMessageBox, QFileDialog { background: #1b1f25; }"
        "QHeaderView { background: #1b1f25; }"
        "QToolButton { background: transparent; border: 1px solid transparent; border-radius: 3px; }"
        "QToolButton:hover { border-color: #4c5561; }"
        "QToolButton:checked { background: #2a3038; }"
        "QLabel:disabled, QCheckBox:disabled, QRadioButton:disabled { color: #5a6068; }"
        "QHeaderView::section { background: #1b1f25; color: #c9d2dc; border: 0;"
        "  border-right: 1px solid #2c333c; padding: 2px 4px; }"
        "QMenu { background: #1b1f25; border: 1px solid #4c5561; }"
        "QMenu::item:selected { background: #1d7f86; }"
        "QMenu::item:disabled { color: #5a6068; }"
        "QProgressBar { background: #0b0d10; border: 1px solid #2c333c; height: 12px;"
        "  text-align: center; color: #c9d2dc; }"
        "QProgressBar::chunk { background: qlineargradient(x1:0,y1:0,x2:1,y2:0,"
        "  stop:0 #1d7f86, stop:1 #3fc8c4); }"
        "QPushButton { background: qlineargradient(x1:0,y1:0,x2:0,y2:1, stop:0 #373e48,"
        "  stop:1 #1d2228); border: 1px solid #4c5561; border-radius: 3px; padding: 3px 12px; }"
        "QPushButton:hover { border-color: #3fc8c4; }"
        "QPushButton:pressed { background: #14171b; }"
        "QPushButton:disabled { color: #5a6068; border-color: #2a2f35; }"
        "QToolTip { background: #1b1f25; color: #c9d2dc; border: 1px solid #4c5561; }"
        "QScrollBar { background: #0e1115; }"
        "QScrollBar::handle { background: #2a3038; border-radius: 3px; }");
}

}  // namespace murrel::ui
