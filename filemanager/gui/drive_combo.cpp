#include "filemanager/gui/drive_combo.h"

#include "filemanager/gui/volume_icons.h"
#include "filemanager/volumes.h"

namespace murrel {

TDVDrivesCombo::TDVDrivesCombo(QWidget* parent) : QComboBox(parent) {
    setObjectName(QStringLiteral("combo_drive"));
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(10);
    connect(this, &QComboBox::activated, this, [this](int) { emit OnChange(); });
}

void TDVDrivesCombo::setVolumeTable(std::shared_ptr<VolumeTable> table) {
    table_ = std::move(table);
    rebuild();
}

std::string TDVDrivesCombo::Drive() const { return currentData().toString().toStdString(); }

bool TDVDrivesCombo::setDrive(const std::string& mount_point) {
    const int index = findData(QString::fromStdString(mount_point));
    if (index < 0) return false;
    setCurrentIndex(index);
    return true;
}

void TDVDrivesCombo::rebuild() {
    const std::string keep = Drive();
    QSignalBlocker quiet(this);
    clear();
    if (!table_) return;
    table_->refresh();
    for (const Volume& v : table_->volumes())
        addItem(volume_icon(v), QString::fromStdString(v.display_name),
                QString::fromStdString(v.mount_point));
    if (!setDrive(keep) && count() > 0) setCurrentIndex(0);
}

void TDVDrivesCombo::showPopup() {
    rebuild();
    QComboBox::showPopup();
}

}  // namespace murrel
