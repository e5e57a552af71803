#include "voicefile/gui/form_progress.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "shell/appstate.h"
#include "shell/catalogue.h"
#include "ui/panels.h"
#include "ui/skin.h"
#include "ui/window_texts.h"

namespace murrel {

namespace {
QLabel* line(QWidget* parent, const char* name) {
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    l->setTextFormat(Qt::PlainText);
    l->setMinimumWidth(10);
    return l;
}

QProgressBar* bar(QWidget* parent, const char* name) {
    auto* b = new QProgressBar(parent);
    b->setObjectName(name);
    b->setRange(0, 100);
    b->setValue(0);
    b->setTextVisible(false);
    b->setFixedHeight(12);
    return b;
}
}  // namespace

TForm_progress::TForm_progress(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName("TForm_progress");
    setModal(false);
    setFixedSize(420, 220);
    ui::paint_dark_dialog(this);

    Panel_captiontitle = new ui::CaptionPanel(this);
    Panel_captiontitle->setObjectName("Panel_captiontitle");
    Panel_captiontitle->setText("   File Conversion Progress");
    label_directory = line(this, "label_directory");
    label_filename = line(this, "label_filename");
    label_targetfilename = line(this, "label_targetfilename");
    ProgressBar_current = bar(this, "ProgressBar_current");
    label_filebyte = line(this, "label_filebyte");
    ProgressBar_total = bar(this, "ProgressBar_total");
    label_filecount = line(this, "label_filecount");
    button_cancel = new QPushButton("&Cancel", this);
    button_cancel->setObjectName("button_cancel");
    connect(button_cancel, &QPushButton::clicked, this, &TForm_progress::Button_cancelClick);

    auto* body = new QVBoxLayout;
    body->setContentsMargins(14, 8, 14, 10);
    body->setSpacing(4);
    body->addWidget(label_directory);
    body->addWidget(label_filename);
    body->addWidget(label_targetfilename);
    body->addWidget(ProgressBar_current);
    body->addSpacing(4);
    body->addWidget(label_filebyte);
    body->addWidget(ProgressBar_total);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(label_filecount, 1);
    bottom->addWidget(button_cancel);
    body->addLayout(bottom);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(1, 1, 1, 1);
    outer->setSpacing(0);
    outer->addWidget(Panel_captiontitle);
    outer->addLayout(body, 1);

    getmessage_frominifile();
}

void TForm_progress::getmessage_frominifile() {
    ui::apply_window_texts(this, murrel::getmessage_frominifile(CatalogueWindow::Progress));
}

void TForm_progress::set_windows(QWidget* main_window, QWidget* edit_window) {
    main_window_ = main_window;
    edit_window_ = edit_window;
}

void TForm_progress::center_on_desktop() {
    if (QScreen* s = QGuiApplication::primaryScreen()) move(s->availableGeometry().center() - rect().center());
}

void TForm_progress::FormShow() {
    if (main_window_) main_window_->setEnabled(false);
    if (edit_window_) edit_window_->setEnabled(false);
}

void TForm_progress::FormClose() {
    if (main_window_) main_window_->setEnabled(true);
    if (edit_window_) edit_window_->setEnabled(true);
}

void TForm_progress::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
    // Not a child of the main window (that would disable it with the window),
    // so it is placed over it here.
    ui::centre_over(this, main_window_);
}

// Hiding (close() included) is what gives the windows back, so no way of
// taking the dialog away can leave them disabled.
void TForm_progress::hideEvent(QHideEvent* event) {
    FormClose();
    QDialog::hideEvent(event);
}

void TForm_progress::Button_cancelClick() {
    app().convert_cancel = true;
    close();
}

void TForm_progress::set_directory(const std::string& text) { label_directory->setText(QString::fromStdString(text)); }
void TForm_progress::set_filename(const std::string& text) { label_filename->setText(QString::fromStdString(text)); }
void TForm_progress::set_target(const std::string& text) {
    label_targetfilename->setText(QString::fromStdString(text));
}
void TForm_progress::set_current(int percent) { ProgressBar_current->setValue(percent); }
void TForm_progress::set_total(int percent) { ProgressBar_total->setValue(percent); }
void TForm_progress::set_filecount(const std::string& text) { label_filecount->setText(QString::fromStdString(text)); }
void TForm_progress::set_filebyte(const std::string& text) { label_filebyte->setText(QString::fromStdString(text)); }
void TForm_progress::set_caption(const std::string& text) { setWindowTitle(QString::fromStdString(text)); }
void TForm_progress::process_events() { QApplication::processEvents(); }

}  // namespace murrel
