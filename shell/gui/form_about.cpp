#include "shell/gui/form_about.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/catalogue.h"
#include "ui/panels.h"
#include "ui/skin.h"
#include "ui/window_texts.h"

namespace murrel {

TForm_about::TForm_about(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    setObjectName("TForm_about");
    setModal(true);
    ui::paint_dark_dialog(this);

    panel_captiontitle = new ui::CaptionPanel(this);
    panel_captiontitle->setObjectName("panel_captiontitle");
    panel_captiontitle->setText("  About");

    Image1 = new QLabel(this);
    Image1->setObjectName("Image1");
    Image1->setPixmap(ui::frame_image("about"));
    Image1->setFixedSize(120, 120);

    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    Label1->setText("Murrelphonic\nVersion 1.0\n\nMade by the Murrelphonic developers.\n"
                    "Companion program for the handheld\nvoice recorder.");
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    Button_ok = new QPushButton("&Ok", this);
    Button_ok->setObjectName("Button_ok");
    Button_ok->setDefault(true);
    connect(Button_ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* body = new QHBoxLayout;
    body->setContentsMargins(12, 8, 12, 0);
    body->setSpacing(14);
    body->addWidget(Image1);
    body->addWidget(Label1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(12, 0, 12, 10);
    buttons->addStretch();
    buttons->addWidget(Button_ok);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(1, 1, 1, 1);
    outer->setSpacing(6);
    outer->addWidget(panel_captiontitle);
    outer->addLayout(body, 1);
    outer->addLayout(buttons);

    // The box takes the size its texts need, whatever the catalogue holds.
    outer->setSizeConstraint(QLayout::SetFixedSize);
    setMinimumWidth(340);
    getmessage_frominifile();
}

void TForm_about::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    ui::centre_over(this, parentWidget());
}

void TForm_about::getmessage_frominifile() {
    ui::apply_window_texts(this, murrel::getmessage_frominifile(CatalogueWindow::About));
}

}  // namespace murrel
