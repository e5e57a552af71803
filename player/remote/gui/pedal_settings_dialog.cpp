#include "player/remote/gui/pedal_settings_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "ui/skin.h"

namespace murrel {

namespace {

constexpr PedalAction kRows[] = {PedalAction::Play, PedalAction::Rewind, PedalAction::FastForward};

int row_of(PedalAction a) { return a == PedalAction::Play ? 0 : a == PedalAction::Rewind ? 1 : 2; }

QSpinBox* ms_box(int lo, int hi, int step, int value) {
    auto* box = new QSpinBox;
    box->setRange(lo, hi);
    box->setSingleStep(step);
    box->setSuffix(" ms");
    box->setValue(value);
    return box;
}

}  // namespace

PedalSettingsDialog::PedalSettingsDialog(PedalReader& reader, const PedalSettings& settings, QWidget* parent)
    : QDialog(parent), reader_(reader), settings_(settings) {
    setWindowTitle("Foot pedal");
    setObjectName("PedalSettings");
    auto* layout = new QVBoxLayout(this);

    devices_label = new QLabel;
    devices_label->setWordWrap(true);
    layout->addWidget(devices_label);
    enabled_box = new QCheckBox("Control playback with the foot pedal");
    enabled_box->setChecked(settings_.enabled);
    layout->addWidget(enabled_box);

    auto* pedals = new QGroupBox("Pedals");
    auto* grid = new QGridLayout(pedals);
    const char* captions[] = {"Play (hold to listen)", "Rewind", "Fast forward"};
    for (PedalAction a : kRows) {
        const int r = row_of(a);
        grid->addWidget(new QLabel(captions[r]), r, 0);
        binding_labels[r] = new QLabel;
        binding_labels[r]->setMinimumWidth(220);
        grid->addWidget(binding_labels[r], r, 1);
        learn_buttons[r] = new QPushButton("Learn");
        learn_buttons[r]->setAccessibleName(QString("Learn ") + captions[r]);
        grid->addWidget(learn_buttons[r], r, 2);
        clear_buttons[r] = new QPushButton("Clear");
        clear_buttons[r]->setAccessibleName(QString("Clear ") + captions[r]);
        grid->addWidget(clear_buttons[r], r, 3);
        connect(learn_buttons[r], &QPushButton::clicked, this, [this, a] {
            learn(learning_ == a ? PedalAction::None : a);
        });
        connect(clear_buttons[r], &QPushButton::clicked, this, [this, a] {
            settings_.binding(a) = {};
            show_bindings();
        });
    }
    layout->addWidget(pedals);

    auto* timing = new QGroupBox("Timing");
    auto* form = new QFormLayout(timing);
    rewind_box = ms_box(0, 30000, 250, settings_.rewind_on_release_ms);
    step_box = ms_box(100, 60000, 250, settings_.skip_step_ms);
    repeat_box = ms_box(50, 5000, 50, settings_.skip_repeat_ms);
    form->addRow("Back on releasing play:", rewind_box);
    form->addRow("Rewind and fast forward step:", step_box);
    form->addRow("Step again while held, every:", repeat_box);
    layout->addWidget(timing);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    saved_learned_ = reader_.OnLearned;
    saved_devices_ = reader_.OnDevicesChanged;
    reader_.OnLearned = [this](const LearnedKey& key) { learned(key); };
    reader_.OnDevicesChanged = [this] {
        show_devices();
        if (saved_devices_) saved_devices_();
    };
    show_devices();
    show_bindings();
    // Like every other box of the program: the light default look would
    // flash white over the skin's dark windows.
    ui::paint_dark_dialog(this);
}

PedalSettingsDialog::~PedalSettingsDialog() {
    reader_.set_learning(false);
    reader_.OnLearned = saved_learned_;
    reader_.OnDevicesChanged = saved_devices_;
}

PedalSettings PedalSettingsDialog::settings() const {
    PedalSettings s = settings_;
    s.enabled = enabled_box->isChecked();
    s.rewind_on_release_ms = rewind_box->value();
    s.skip_step_ms = step_box->value();
    s.skip_repeat_ms = repeat_box->value();
    return s;
}

void PedalSettingsDialog::learn(PedalAction action) {
    learning_ = action;
    reader_.set_learning(action != PedalAction::None);
    show_bindings();
}

void PedalSettingsDialog::learned(const LearnedKey& key) {
    if (learning_ == PedalAction::None) return;
    const PedalBinding b{key.device.vendor, key.device.product, key.code};
    for (PedalAction a : kRows)
        if (settings_.binding(a) == b) settings_.binding(a) = {};
    settings_.binding(learning_) = b;
    learning_ = PedalAction::None;
    reader_.set_learning(false);
    show_devices();
    show_bindings();
}

QString PedalSettingsDialog::binding_text(const PedalBinding& b) const {
    if (!b.set()) return settings_.any_learned() ? "Not set" : "Not learned: the usual layout is used";
    QString device = QString::asprintf("%04x:%04x", b.vendor, b.product);
    for (const InputIdentity& p : reader_.devices().pedals)
        if (p.vendor == b.vendor && p.product == b.product) device = QString::fromStdString(p.name);
    if (b.vendor == 0 && b.product == 0) device = "any pedal";
    return QString::fromStdString(key_name(b.code)) + " on " + device;
}

void PedalSettingsDialog::show_bindings() {
    for (PedalAction a : kRows) {
        const int r = row_of(a);
        const bool waiting = learning_ == a;
        binding_labels[r]->setText(waiting ? "Press the pedal now…" : binding_text(settings_.binding(a)));
        learn_buttons[r]->setText(waiting ? "Cancel" : "Learn");
        learn_buttons[r]->setEnabled(learning_ == PedalAction::None || waiting);
        clear_buttons[r]->setEnabled(settings_.binding(a).set() && learning_ == PedalAction::None);
    }
}

void PedalSettingsDialog::show_devices() {
    const InputDevices d = reader_.devices();
    QString text;
    if (d.pedals.empty()) {
        text = "No foot pedal is connected.";
    } else {
        QStringList names;
        for (const InputIdentity& p : d.pedals) names << QString::fromStdString(p.name);
        text = "Connected: " + names.join(", ") + ".";
    }
    if (!d.unreadable.empty())
        text += QString(" %1 input device(s) may not be read by this user; a pedal among them needs the "
                        "program's udev rule (installed with the program) and a new login or replugging.")
                    .arg(d.unreadable.size());
    devices_label->setText(text);
}

}  // namespace murrel
