#include "ui/skin.h"

#include <QPalette>
#include <QPixmapCache>
#include <QWidget>

// The resource initialiser must be declared at global scope.
static void init_skin_resources() { Q_INIT_RESOURCE(skin); }

namespace murrel::ui {

namespace {
QPixmap load(const QString& name) {
    static const bool initialised = (init_skin_resources(), true);
    (void)initialised;
    QPixmap pixmap;
    const QString path = ":/skin/" + name + ".png";
    if (!QPixmapCache::find(path, &pixmap)) {
        pixmap.load(path);
        QPixmapCache::insert(path, pixmap);
    }
    return pixmap;
}
}  // namespace

QPixmap skin_image(int index) { return load(QString("skin_%1").arg(index)); }
QPixmap button_image(int index) { return load(QString("button_%1").arg(index)); }
QPixmap frame_image(const QString& name) { return load(name); }

void paint_dark_dialog(QWidget* dialog) {
    dialog->setAutoFillBackground(true);
    QPalette pal = dialog->palette();
    pal.setColor(QPalette::Window, colours::panel);
    pal.setColor(QPalette::WindowText, colours::text);
    dialog->setPalette(pal);
    dialog->setStyleSheet(dark_style_sheet());
}

QString dark_style_sheet() {
    return QStringLiteral(
        "QWidget { color: #c9d2dc; }"
        "QLineEdit, QComboBox, QTreeView, QListView, QTableView, QTreeWidget, QListWidget {"
        "  background: #0b0d10; border: 1px solid #2c333c; selection-background-color: #1d7f86;"
        "  selection-color: #ffffff; }"
        "QComboBox QAbstractItemView { background: #0b0d10; }"
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
