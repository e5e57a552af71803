#include "shell/gui/form_main.h"

#include <algorithm>
#include <utility>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

#include "shell/appstate.h"
#include "shell/catalogue.h"
#include "filemanager/gui/file_commands.h"
#include "shell/dialogs.h"
#include "shell/profile.h"
#include "shell/startup.h"
#include "ui/bitmap_button.h"
#include "ui/panels.h"
#include "ui/skin.h"
#include "ui/splitter.h"
#include "ui/window_texts.h"

namespace murrel {

namespace {
// A piece of the frame's picture. It looks the same while the window is
// disabled (a label would grey its picture, and the frame would show pale
// blocks at its corners and edges while the progress dialog is up).
class FramePicture final : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.drawPixmap(0, 0, pixmap());
    }
};

QLabel* image_label(QWidget* parent, const char* name, const QPixmap& pixmap) {
    auto* label = new FramePicture(parent);
    label->setObjectName(name);
    label->setPixmap(pixmap);
    label->resize(pixmap.deviceIndependentSize().toSize());
    return label;
}

ui::BitmapButton* bitmap_button(QWidget* parent, const char* name, int image) {
    auto* b = new ui::BitmapButton(ui::button_image(image), parent);
    b->setObjectName(name);
    b->resize(b->sizeHint());
    return b;
}

QLabel* command_label(QWidget* parent, const char* name, const QString& text, int x) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setGeometry(x, 86, 76, 14);
    QFont f = label->font();
    f.setPointSizeF(7.5);
    label->setFont(f);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, ui::colours::text_dim);
    label->setPalette(pal);
    return label;
}

QToolButton* tool_button(QWidget* parent, const char* name, const char* icon) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setIcon(QIcon(ui::frame_image(icon)));
    b->setAutoRaise(true);
    b->setFixedSize(24, 24);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}
}  // namespace

TForm_main::TForm_main(BrowserOptions browser_options, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
    setObjectName("TForm_main");
    setWindowTitle(QString::fromStdString(app().app_name));
    setMinimumSize(610, 300);
    // The window's own black shows wherever no band paints (the information
    // line's old text, the strips while they shrink): it must be filled on
    // every paint, so the window is not marked opaque.
    setAutoFillBackground(true);
    QGuiApplication::setWindowIcon(ui::program_icon());
    setWindowIcon(ui::program_icon());
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    pal.setColor(QPalette::WindowText, ui::colours::text);
    pal.setColor(QPalette::Base, QColor(0x0b, 0x0d, 0x10));
    pal.setColor(QPalette::Text, ui::colours::text);
    pal.setColor(QPalette::Button, ui::colours::panel_light);
    pal.setColor(QPalette::ButtonText, ui::colours::text);
    pal.setColor(QPalette::Highlight, ui::colours::accent_deep);
    setPalette(pal);
    setStyleSheet(ui::dark_style_sheet());

    build_top_bar();
    build_middle();
    browser_ = std::make_unique<TFileBrowser>(this, std::move(browser_options));
    build_bottom_strip();

    // The browser's controls go into the bands laid out here.
    auto* strip = new QHBoxLayout(Panel_layer2);
    strip->setContentsMargins(4, 4, 4, 4);
    strip->setSpacing(2);
    browser_->combo_drive->setFixedWidth(170);
    // Room for a path even in the smallest window.
    browser_->edit_directory->setMinimumWidth(120);
    strip->addWidget(browser_->combo_drive);
    strip->addSpacing(4);
    for (QToolButton* b : {button_onelabelup, button_newfolder, button_fileviewtype, button_copy, button_paste})
        strip->addWidget(b);
    strip->addSpacing(4);
    // The layout's spacing is the 2 pixels the filter box keeps from the address field.
    strip->addWidget(browser_->edit_directory, 1);
    browser_->combo_filefilter->setFixedWidth(140);
    strip->addWidget(browser_->combo_filefilter);
    Splitter2->addWidget(browser_->directory_mycomputer);
    Splitter2->addWidget(browser_->file_mycomputer);
    Splitter2->setStretchFactor(0, 0);
    Splitter2->setStretchFactor(1, 1);
    Splitter2->setSizes({220, 600});
    static_cast<QVBoxLayout*>(Panel_layer123main->layout())->addWidget(browser_->Panel_downcaption);
    browser_->Panel_downcaption->setFixedHeight(25);
    // Under the window's style sheet only a style-sheet background is painted.
    browser_->Panel_downcaption->setStyleSheet(QStringLiteral("QLabel { background: #000000; padding-left: 3px; }"));
    connect(button_onelabelup, &QToolButton::clicked, this, [this] { browser_->button_onelabelupClick(); });
    connect(button_fileviewtype, &QToolButton::clicked, this, [this] { browser_->button_fileviewtypeClick(); });
    commands_ = new TFileCommands(*browser_);
    connect(button_newfolder, &QToolButton::clicked, this, [this] { commands_->button_newfolderClick(); });
    connect(button_copy, &QToolButton::clicked, this, [this] { commands_->button_copyClick(); });
    connect(button_paste, &QToolButton::clicked, this, [this] { commands_->button_pasteClick(); });
    browser_->host.convert_selection = [this] { button_convertClick(); };
    browser_->host.recording = [this] { return hooks.recording && hooks.recording(); };
    browser_->host.player_open = [this] { return hooks.devices_open && hooks.devices_open(); };

    Timer_banner = new QTimer(this);
    Timer_banner->setObjectName("Timer_banner");
    Timer_banner->setInterval(100);

    connect(button_minimize, &QAbstractButton::clicked, this, &TForm_main::button_minimizeClick);
    connect(button_maximize, &QAbstractButton::clicked, this, &TForm_main::button_maximizeClick);
    connect(button_exit, &QAbstractButton::clicked, this, &TForm_main::button_exitClick);
    connect(button_help, &QAbstractButton::clicked, this, &TForm_main::button_helpClick);
    connect(button_about, &QAbstractButton::clicked, this, &TForm_main::button_aboutClick);
    connect(button_convert, &QAbstractButton::clicked, this, &TForm_main::button_convertClick);
    connect(Splitter2, &QSplitter::splitterMoved, this, &TForm_main::Splitter1Moved);

    bind_frame_controls();
    resize(853, 612);
    FormResize();  // a hidden window gets no resize event until shown
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(853 / 2, 612 / 2));
}

TForm_main::~TForm_main() = default;

void TForm_main::build_top_bar() {
    panel_layer0 = new ui::SkinPanel(ui::skin_image(ui::SkinTopFill), ui::SkinPanel::Fill::Tile, this);
    panel_layer0->setObjectName("panel_layer0");
    Image_topleft = image_label(panel_layer0, "Image_topleft", ui::frame_image("topleft"));
    Image_topright = image_label(panel_layer0, "Image_topright", ui::frame_image("topright"));
    Image6 = image_label(panel_layer0, "Image6", ui::frame_image("logo"));
    Image6->setGeometry(3, 7, 370, 36);
    Image8 = image_label(panel_layer0, "Image8", ui::frame_image("divider"));
    Image8->move(9, 50);
    Image1 = image_label(panel_layer0, "Image1", ui::frame_image("divider"));
    Image1->move(259, 50);
    Image7 = image_label(panel_layer0, "Image7", ui::frame_image("divider"));
    Image7->move(431, 50);

    struct Command {
        ui::BitmapButton** button;
        QLabel** label;
        const char* name;
        const char* label_name;
        const char* text;
        int image;
        int x;
    };
    const Command commands[] = {
        {&button_convert, &Label_convert, "button_convert", "Label_convert", "Conversion", ui::ButtonConvert, 17},
        {&button_wavedit, &Label_wavedit, "button_wavedit", "Label_wavedit", "Editing", ui::ButtonEdit, 95},
        {&button_email, &Label_email, "button_email", "Label_email", "Mail", ui::ButtonMail, 174},
        {&button_help, &Label_help, "button_help", "Label_help", "Help", ui::ButtonHelp, 268},
        {&button_about, &Label_about, "button_about", "Label_about", "Info", ui::ButtonAbout, 347},
    };
    for (const Command& c : commands) {
        *c.button = bitmap_button(panel_layer0, c.name, c.image);
        (*c.button)->setGeometry(c.x, 49, 76, 35);
        *c.label = command_label(panel_layer0, c.label_name, c.text, c.x);
    }
    button_minimize = bitmap_button(panel_layer0, "button_minimize", ui::ButtonMinimise);
    button_maximize = bitmap_button(panel_layer0, "button_maximize", ui::ButtonMaximise);
    button_exit = bitmap_button(panel_layer0, "button_exit", ui::ButtonClose);
}

void TForm_main::build_middle() {
    Image_midleft = new ui::SkinPanel(ui::frame_image("midleft"), ui::SkinPanel::Fill::Tile, this);
    Image_midleft->setObjectName("Image_midleft");
    Image_midright = new ui::SkinPanel(ui::frame_image("midright"), ui::SkinPanel::Fill::Tile, this);
    Image_midright->setObjectName("Image_midright");

    Panel_layer123main = new QWidget(this);
    Panel_layer123main->setObjectName("Panel_layer123main");
    auto* bands = new QVBoxLayout(Panel_layer123main);
    bands->setContentsMargins(0, 0, 0, 0);
    bands->setSpacing(0);

    // The playback display sits in a band of its own that clips it: in a
    // window narrower than the display's natural width its right end is cut
    // off rather than its readouts squeezed over one another.
    display_band_ = new ui::FilledPanel(QColor(0x06, 0x07, 0x09), Panel_layer123main);
    display_band_->setObjectName("display_band");
    display_band_->setFixedHeight(45);
    display_band_->installEventFilter(this);
    bands->addWidget(display_band_);
    Panel1 = new ui::FilledPanel(QColor(0x06, 0x07, 0x09), display_band_);
    Panel1->setObjectName("Panel1");
    Panel1->set_border(QColor(0x22, 0x27, 0x2e));
    Panel1->setFixedHeight(45);

    Panel_layer2 = new ui::FilledPanel(ui::colours::panel, Panel_layer123main);
    Panel_layer2->setObjectName("Panel_layer2");
    Panel_layer2->setFixedHeight(32);
    bands->addWidget(Panel_layer2);
    button_onelabelup = tool_button(Panel_layer2, "button_onelabelup", "tool_up");
    button_newfolder = tool_button(Panel_layer2, "button_newfolder", "tool_newfolder");
    button_fileviewtype = tool_button(Panel_layer2, "button_fileviewtype", "tool_view");
    button_copy = tool_button(Panel_layer2, "button_copy", "tool_copy");
    button_paste = tool_button(Panel_layer2, "button_paste", "tool_paste");

    Panel_layer3 = new QWidget(Panel_layer123main);
    Panel_layer3->setObjectName("Panel_layer3");
    auto* panes = new QHBoxLayout(Panel_layer3);
    panes->setContentsMargins(0, 0, 0, 0);
    Splitter2 = new ui::Splitter(Qt::Horizontal, Panel_layer3);
    Splitter2->setObjectName("Splitter2");
    Splitter2->set_first_minimum(50);
    panes->addWidget(Splitter2);
    bands->addWidget(Panel_layer3, 1);
}

void TForm_main::build_bottom_strip() {
    Panel_layer4 = new QWidget(this);
    Panel_layer4->setObjectName("Panel_layer4");
    MMPanelFill_control = new ui::SkinPanel(ui::skin_image(ui::SkinBottomFill), ui::SkinPanel::Fill::Tile, Panel_layer4);
    MMPanelFill_control->setObjectName("MMPanelFill_control");
    Image3 = image_label(MMPanelFill_control, "Image3", ui::frame_image("bottomleft"));
    Image_rightdown = image_label(MMPanelFill_control, "Image_rightdown", ui::frame_image("rightdown"));

    struct Place {
        ui::BitmapButton** button;
        const char* name;
        int image;
        int x;
    };
    const Place places[] = {
        {&button_shqrecord, "button_shqrecord", ui::ButtonShqRecord, 14},
        {&button_hqrecord, "button_hqrecord", ui::ButtonHqRecord, 62},
        {&button_sprecord, "button_sprecord", ui::ButtonSpRecord, 110},
        {&button_play, "button_play", ui::ButtonPlay, 172},
        {&button_pause, "button_pause", ui::ButtonPause, 212},
        {&button_stop, "button_stop", ui::ButtonStop, 252},
    };
    for (const Place& p : places) {
        *p.button = bitmap_button(MMPanelFill_control, p.name, p.image);
        (*p.button)->move(p.x, 11);
    }
    Image2 = image_label(MMPanelFill_control, "Image2", ui::frame_image("strip_divider"));
    Image2->move(163, 9);
    Image4 = image_label(MMPanelFill_control, "Image4", ui::frame_image("strip_divider"));
    Image4->move(297, 9);
    Image5 = image_label(MMPanelFill_control, "Image5", ui::frame_image("strip_divider"));
    Image5->move(420, 9);
}

void TForm_main::bind_frame_controls() {
    QWidget* frame[] = {Image_midleft, Image_midright, panel_layer0, Image6, Image_topleft, Image_topright,
                        Panel_layer3, Panel_layer2, MMPanelFill_control, Image_rightdown, Image3};
    for (QWidget* w : frame) {
        w->setMouseTracking(true);
        w->installEventFilter(this);
    }
    Panel_layer2->installEventFilter(this);
}

// Names a screen reader says for the picture buttons: the caption under the
// button, else its hint, else a plain name of our own (a catalogue without
// either would leave them nameless).
void TForm_main::name_controls() {
    struct Named {
        QAbstractButton* button;
        QLabel* caption;
        const char* fallback;
    };
    const Named named[] = {
        {button_convert, Label_convert, "Conversion"}, {button_wavedit, Label_wavedit, "Editing"},
        {button_email, Label_email, "Mail"},           {button_help, Label_help, "Help"},
        {button_about, Label_about, "Info"},           {button_shqrecord, nullptr, "Record in SHQ"},
        {button_hqrecord, nullptr, "Record in HQ"},    {button_sprecord, nullptr, "Record in SP"},
        {button_play, nullptr, "Play"},                {button_pause, nullptr, "Pause"},
        {button_stop, nullptr, "Stop"},                {button_minimize, nullptr, "Minimise"},
        {button_maximize, nullptr, "Maximise"},        {button_exit, nullptr, "Close"},
        {button_onelabelup, nullptr, "Up one level"},  {button_newfolder, nullptr, "New folder"},
        {button_fileviewtype, nullptr, "View"},        {button_copy, nullptr, "Copy"},
        {button_paste, nullptr, "Paste"},
    };
    for (const Named& n : named) {
        if (!n.button) continue;
        QString name = n.caption ? n.caption->text() : QString();
        if (name.trimmed().isEmpty()) name = n.button->toolTip();
        if (name.trimmed().isEmpty()) name = n.fallback;
        n.button->setAccessibleName(name.remove('&').trimmed());
    }
}

void TForm_main::FormCreate(const WindowTexts& texts) {
    ui::apply_window_texts(this, texts);
    name_controls();
    browser_->open_at(app().data_dir);
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &TForm_main::OnIdle,
                Qt::UniqueConnection);
}

bool TForm_main::maximised() const { return maximised_ || (windowState() & Qt::WindowMaximized); }

bool TForm_main::busy() const {
    return (hooks.devices_open && hooks.devices_open()) || (hooks.recording && hooks.recording());
}

std::vector<ui::BitmapButton*> TForm_main::hover_buttons() const {
    return {button_minimize, button_maximize, button_exit, button_convert, button_wavedit, button_email,
            button_shqrecord, button_hqrecord, button_sprecord, button_play, button_pause, button_stop};
}

void TForm_main::resize_MouseMove(QWidget* control, QPoint global, Qt::MouseButtons buttons) {
    if (maximised()) return;
    control->setCursor(Qt::ArrowCursor);
    const FrameZone zone = frame_zone(global, geometry());
    if (zone == FrameZone::Inside) {
        button_HoverMouseMove(global);
        return;
    }
    control->setCursor(zone_cursor(zone));
    if ((buttons & Qt::LeftButton) && !dragger_.active()) dragger_.begin(this, global, zone_edges(zone));
}

void TForm_main::button_HoverMouseMove(QPoint global) {
    if (!busy()) return;
    for (ui::BitmapButton* b : hover_buttons()) {
        const QPoint origin = b->mapToGlobal(QPoint(0, 0));
        const bool inside = global.x() > origin.x() && global.x() < origin.x() + b->width() &&
                            global.y() > origin.y() && global.y() < origin.y() + b->height();
        b->set_highlight(inside);
    }
}

// The drag is armed here and begins once the pointer has moved a little with
// the button held (arm_drag / follow_press). Starting the window system's move
// on the press itself would swallow the second press of a double click, and
// after a very quick click the window manager would begin its move when the
// button is already up and keep the window on the pointer until the next click.
FrameAction TForm_main::panel_layer0MouseDown(QPoint global) {
    const FrameAction action = frame_press_action(global, geometry(), maximised(), true);
    if (action == FrameAction::Move) arm_drag(global, {});
    return action;
}

void TForm_main::arm_drag(QPoint global, Qt::Edges edges) {
    pending_drag_ = true;
    pending_press_ = global;
    pending_edges_ = edges;
}

bool TForm_main::follow_press(QPoint global, Qt::MouseButtons buttons) {
    if (!pending_drag_) return false;
    if (!(buttons & Qt::LeftButton)) {
        pending_drag_ = false;
        return false;
    }
    if ((global - pending_press_).manhattanLength() < QApplication::startDragDistance()) return true;
    pending_drag_ = false;
    if (!dragger_.begin(this, pending_press_, pending_edges_)) dragger_.move(global);
    return true;
}

void TForm_main::panel_layer0DblClick() { button_maximizeClick(); }

void TForm_main::button_minimizeClick() { showMinimized(); }

// The frame keeps its own maximised state: resizing a window the toolkit calls
// maximised drops that state, and the idle rule resizes it; without a window
// manager nothing else would resize the window either.
void TForm_main::button_maximizeClick() {
    if (maximised()) {
        maximised_ = false;
        if (windowState() & Qt::WindowMaximized) showNormal();
        if (normal_geometry_.isValid()) setGeometry(normal_geometry_);
    } else {
        normal_geometry_ = geometry();
        maximised_ = true;
        if (QScreen* s = screen()) setGeometry(s->availableGeometry());
        keep_full_height(this);
    }
    show_maximise_image();
}

QRect TForm_main::normal_geometry() const {
    return maximised() && normal_geometry_.isValid() ? normal_geometry_ : geometry();
}

void TForm_main::restore_geometry(QRect normal, bool maximise) {
    QScreen* home = QGuiApplication::screenAt(normal.center());
    if (!home) home = QGuiApplication::primaryScreen();
    if (home) {
        const QRect room = home->availableGeometry();
        normal.setSize(normal.size().boundedTo(room.size()).expandedTo(minimumSize()));
        // Off the screen (a monitor unplugged since): keep the size, come back.
        if (!room.intersects(normal)) normal.moveCenter(room.center());
        if (normal.top() < room.top()) normal.moveTop(room.top());
    }
    setGeometry(normal);
    if (maximise && !maximised()) button_maximizeClick();
}

void TForm_main::show_maximise_image() {
    button_maximize->set_strip(ui::button_image(maximised() ? ui::ButtonRestore : ui::ButtonMaximise));
}

void TForm_main::button_exitClick() { close(); }

void TForm_main::FormResize() {
    const int w = width(), h = height();
    panel_layer0->setGeometry(0, 0, w, kTopBarHeight);
    Image_topleft->move(0, 0);
    Image_topright->move(w - Image_topright->width(), 0);
    const int middle = std::max(0, h - kTopBarHeight - kBottomStripHeight);
    Image_midleft->setGeometry(0, kTopBarHeight, kEdgeWidth, middle);
    Image_midright->setGeometry(w - kEdgeWidth, kTopBarHeight, kEdgeWidth, middle);
    Panel_layer123main->setGeometry(kEdgeWidth, kTopBarHeight, w - 2 * kEdgeWidth, middle);
    Panel_layer4->setGeometry(0, h - kBottomStripHeight, w, kBottomStripHeight);
    MMPanelFill_control->setGeometry(0, 0, w, kBottomStripHeight);
    Image3->move(0, 0);
    Image_rightdown->move(w - Image_rightdown->width(), 0);

    if (auto* position = MMPanelFill_control->findChild<QWidget*>("trackbar_position"))
        if (position->x() + 30 < w) position->resize(w - position->x() - 32, position->height());
    button_exit->move(panel_layer0->width() - 45, 13);
    button_maximize->move(button_exit->x() - 28, 13);
    button_minimize->move(button_maximize->x() - 28, 13);
    fit_display();
    emit resized();
}

void TForm_main::fit_display() {
    Panel1->setGeometry(0, 0, std::max(display_band_->width(), Panel1->sizeHint().width()), display_band_->height());
}

void TForm_main::Splitter1Moved() { Splitter2->enforce_first_minimum(); }

void TForm_main::Panel_layer2CanResize() {
    QLineEdit* edit = browser_->edit_directory;
    browser_->combo_filefilter->move(edit->geometry().right() + 1 + 2, browser_->combo_filefilter->y());
}

std::string TForm_main::help_path() const {
    const std::string chm = app().shipped_dir + "Murrelphonic.chm";
    if (QFileInfo::exists(QString::fromStdString(chm))) return chm;
    return app().shipped_dir + "manual.html";
}

void TForm_main::button_helpClick() {
    if (hooks.devices_open && hooks.devices_open()) return;
    const std::string path = help_path();
    if (!(launcher_ ? *launcher_ : desktop_launcher_).open(path))
        show_warning("No program to show the manual was found on this system.\nThe manual is the file " + path +
                     "; open it with a web browser.");
}

void TForm_main::button_aboutClick() {
    if (hooks.devices_open && hooks.devices_open()) return;
    if (hooks.about) hooks.about();
}

void TForm_main::button_convertClick() {
    if (hooks.recording && hooks.recording()) return;
    if (hooks.convert) hooks.convert();
}

bool TForm_main::FormCloseQuery() {
    if (hooks.stop) hooks.stop();
    Timer_banner->stop();
    if (hooks.unregister_drop_targets) hooks.unregister_drop_targets();
    try {
        if (hooks.save_settings) hooks.save_settings();
        writeconfig_inifile(browser_->edit_directory->text().toStdString(),
                            browser_->file_mycomputer->Directory());
    } catch (const ProfileWriteError& e) {
        show_error(e.what());
    }
    return true;
}

void TForm_main::keep_full_height(QWidget* window) {
    if (!window) return;
    const bool maximised_now = window == this ? maximised() : bool(window->windowState() & Qt::WindowMaximized);
    if (!maximised_now) return;
    QScreen* s = window->screen();
    if (!s) return;
    const int height = s->availableGeometry().height();
    if (window->height() != height) window->resize(window->width(), height);
}

void TForm_main::OnIdle() {
    if (in_idle_) return;
    in_idle_ = true;
    keep_full_height(this);
    keep_full_height(edit_window_);
    in_idle_ = false;
}

void TForm_main::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FormResize();
}

void TForm_main::closeEvent(QCloseEvent* event) {
    if (FormCloseQuery()) event->accept();
    else event->ignore();
}

void TForm_main::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && button_maximize) {
        // The window manager maximised us (a key or a menu of its own).
        if (windowState() & Qt::WindowMaximized) maximised_ = true;
        show_maximise_image();
    }
}

void TForm_main::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shown_once_) return;
    shown_once_ = true;
    browser_->FormShow();
    // The keys of the list are what a person starts with; without this the
    // first picture button in the Tab order would take the focus.
    if (QWidget* view = browser_->file_mycomputer->activeView()) view->setFocus(Qt::OtherFocusReason);
    if (pending_tree_width_ >= 0) set_tree_width(std::exchange(pending_tree_width_, -1));
}

// A hidden splitter spreads new sizes in proportion to its own hidden width,
// so a remembered width waits for the first show, when the panes are laid out.
void TForm_main::set_tree_width(int width) {
    if (!isVisible()) {
        pending_tree_width_ = width;
        return;
    }
    QList<int> sizes = Splitter2->sizes();
    if (sizes.size() != 2) return;
    const int total = sizes[0] + sizes[1];
    sizes[0] = std::min(width, total);
    sizes[1] = total - sizes[0];
    Splitter2->setSizes(sizes);
    Splitter2->enforce_first_minimum();
}

int TForm_main::tree_width() const {
    return pending_tree_width_ >= 0 ? pending_tree_width_ : Splitter2->sizes().value(0);
}

bool TForm_main::eventFilter(QObject* watched, QEvent* event) {
    auto* control = qobject_cast<QWidget*>(watched);
    if (!control) return false;
    if (watched == display_band_ && event->type() == QEvent::Resize) {
        fit_display();
        return false;
    }
    if (watched == Panel_layer2 && event->type() == QEvent::Resize) {
        Panel_layer2CanResize();
        return false;
    }
    const bool top_bar = watched == panel_layer0 || watched == Image6;
    switch (event->type()) {
    case QEvent::MouseMove: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (dragger_.manual()) {
            dragger_.move(e->globalPosition().toPoint());
            return true;
        }
        if (follow_press(e->globalPosition().toPoint(), e->buttons())) return true;
        resize_MouseMove(control, e->globalPosition().toPoint(), e->buttons());
        return false;
    }
    case QEvent::MouseButtonPress: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() != Qt::LeftButton) return false;
        const QPoint global = e->globalPosition().toPoint();
        const FrameAction action = frame_press_action(global, geometry(), maximised(), top_bar);
        if (action == FrameAction::Resize) {
            arm_drag(global, zone_edges(frame_zone(global, geometry())));
            return true;
        }
        if (action == FrameAction::Move) {
            panel_layer0MouseDown(global);
            return true;
        }
        return false;
    }
    case QEvent::MouseButtonRelease: {
        // After the window system's own move or resize loop Qt delivers a
        // synthetic release: it ends the drag and is no click. A release of
        // a press that never became a drag belongs to the frame too.
        const bool was_armed = pending_drag_;
        pending_drag_ = false;
        return dragger_.release() || was_armed;
    }
    case QEvent::MouseButtonDblClick:
        if (top_bar && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            pending_drag_ = false;
            dragger_.release();
            panel_layer0DblClick();
            return true;
        }
        return false;
    default:
        return false;
    }
}

}  // namespace murrel
