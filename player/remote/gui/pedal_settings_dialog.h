#pragma once
// The foot pedal's settings: which pedals are connected, what each pedal
// does (learned by pressing it), and the transcription timings. The learn
// mode takes the next pedal press from the reader, whichever window has the
// keyboard; a press learned for one action is taken from any other.
//
// Threads: the user-interface thread.
#include <QDialog>

#include <array>
#include <functional>

#include "player/remote/pedal_reader.h"
#include "player/remote/pedal_settings.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace murrel {

class PedalSettingsDialog : public QDialog {
    Q_OBJECT
public:
    // Takes the reader's OnLearned and OnDevicesChanged while it lives.
    PedalSettingsDialog(PedalReader& reader, const PedalSettings& settings, QWidget* parent = nullptr);
    ~PedalSettingsDialog() override;

    // What the dialog shows now (what OK keeps).
    PedalSettings settings() const;
    // The action waiting for a press; None when not learning.
    PedalAction learning() const { return learning_; }
    void learn(PedalAction action);

    // The widgets, for the window's tests.
    QLabel* devices_label = nullptr;
    QCheckBox* enabled_box = nullptr;
    std::array<QLabel*, 3> binding_labels{};
    std::array<QPushButton*, 3> learn_buttons{};
    std::array<QPushButton*, 3> clear_buttons{};
    QSpinBox* rewind_box = nullptr;
    QSpinBox* step_box = nullptr;
    QSpinBox* repeat_box = nullptr;

private:
    void learned(const LearnedKey& key);
    void show_devices();
    void show_bindings();
    QString binding_text(const PedalBinding& b) const;

    PedalReader& reader_;
    PedalSettings settings_;
    PedalAction learning_ = PedalAction::None;
    std::function<void(const LearnedKey&)> saved_learned_;
    std::function<void()> saved_devices_;
};

}  // namespace murrel
