#include "voicefile/gui/form_convdialog.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/appstate.h"
#include "shell/catalogue.h"
#include "shell/dialogs.h"
#include "ui/flat_boxes.h"
#include "ui/panels.h"
#include "ui/skin.h"
#include "ui/window_texts.h"

namespace murrel {

TForm_convdialog::TForm_convdialog(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    setObjectName("TForm_convdialog");
    setModal(true);
    setFixedSize(420, 230);
    ui::paint_dark_dialog(this);

    panel_captiontitle = new ui::CaptionPanel(this);
    panel_captiontitle->setObjectName("panel_captiontitle");
    panel_captiontitle->setText("   File Conversion");

    label_outputmode = new QLabel("VKD Output Mode", this);
    label_outputmode->setObjectName("label_outputmode");
    Radio_sp = new ui::FlatRadioButton("SP", this);
    Radio_sp->setObjectName("Radio_sp");
    Radio_hq = new ui::FlatRadioButton("HQ", this);
    Radio_hq->setObjectName("Radio_hq");
    Radio_shq = new ui::FlatRadioButton("SHQ", this);
    Radio_shq->setObjectName("Radio_shq");
    auto* modes = new QButtonGroup(this);
    modes->addButton(Radio_sp);
    modes->addButton(Radio_hq);
    modes->addButton(Radio_shq);
    Radio_sp->setChecked(true);

    Label_outputfolder = new QLabel("Output Folder", this);
    Label_outputfolder->setObjectName("Label_outputfolder");
    Button_changeoutfolder = new QPushButton("Please select folder", this);
    Button_changeoutfolder->setObjectName("Button_changeoutfolder");
    edit_outdirectory = new QLineEdit(this);
    edit_outdirectory->setObjectName("edit_outdirectory");
    edit_outdirectory->setReadOnly(true);
    checkbox_overwrite = new ui::FlatCheckBox("Overwrite for same filename with output filename.", this);
    checkbox_overwrite->setObjectName("checkbox_overwrite");
    button_go = new QPushButton("Caption", this);
    button_go->setObjectName("button_go");
    button_go->setDefault(true);
    button_cancel = new QPushButton("Cancel", this);
    button_cancel->setObjectName("button_cancel");

    auto* mode_row = new QHBoxLayout;
    mode_row->addWidget(label_outputmode);
    mode_row->addSpacing(12);
    mode_row->addWidget(Radio_sp);
    mode_row->addWidget(Radio_hq);
    mode_row->addWidget(Radio_shq);
    mode_row->addStretch();
    auto* folder_row = new QHBoxLayout;
    folder_row->addWidget(Label_outputfolder);
    folder_row->addStretch();
    folder_row->addWidget(Button_changeoutfolder);
    auto* button_row = new QHBoxLayout;
    button_row->addStretch();
    button_row->addWidget(button_go);
    button_row->addWidget(button_cancel);
    auto* body = new QVBoxLayout;
    body->setContentsMargins(14, 10, 14, 12);
    body->setSpacing(8);
    body->addLayout(mode_row);
    body->addLayout(folder_row);
    body->addWidget(edit_outdirectory);
    body->addWidget(checkbox_overwrite);
    body->addStretch();
    body->addLayout(button_row);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(1, 1, 1, 1);
    outer->setSpacing(0);
    outer->addWidget(panel_captiontitle);
    outer->addLayout(body, 1);

    connect(button_go, &QPushButton::clicked, this, &TForm_convdialog::button_goClick);
    connect(button_cancel, &QPushButton::clicked, this, &TForm_convdialog::button_cancelClick);
    connect(Button_changeoutfolder, &QPushButton::clicked, this, &TForm_convdialog::Button_changeoutfolderClick);

    // The first output folder is the one the browser opens at.
    edit_outdirectory->setText(QString::fromStdString(app().data_dir));
    getmessage_frominifile();
}

void TForm_convdialog::getmessage_frominifile() {
    ui::apply_window_texts(this, murrel::getmessage_frominifile(CatalogueWindow::Conversion));
}

void TForm_convdialog::set_mode_enabled(bool enabled) {
    label_outputmode->setEnabled(enabled);
    Radio_sp->setEnabled(enabled);
    Radio_hq->setEnabled(enabled);
    Radio_shq->setEnabled(enabled);
}

int TForm_convdialog::codec_type() const {
    if (Radio_shq->isChecked()) return 7;
    if (Radio_hq->isChecked()) return 6;
    return 5;
}

void TForm_convdialog::set_codec_type(int type) {
    if (type == 5) Radio_sp->setChecked(true);
    if (type == 6) Radio_hq->setChecked(true);
    if (type == 7) Radio_shq->setChecked(true);
}

void TForm_convdialog::FormShow() { result_flag = false; }

void TForm_convdialog::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
    ui::centre_over(this, parentWidget());
}

void TForm_convdialog::button_goClick() {
    result_flag = true;
    accept();
}

void TForm_convdialog::button_cancelClick() {
    result_flag = false;
    reject();
}

void TForm_convdialog::Button_changeoutfolderClick() {
    FolderDialogRequest request;
    request.title = app().message("FC_BrowseDlgCaptionTitle");
    request.prompt = app().message("FC_BrowseDlgCaption");
    request.folder = edit_outdirectory->text().toStdString();
    if (auto folder = dialogs().choose_folder(request)) edit_outdirectory->setText(QString::fromStdString(*folder));
}

}  // namespace murrel
