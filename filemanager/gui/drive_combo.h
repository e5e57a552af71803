#pragma once
// The drive selector: one item per volume, its icon and display name; the
// item's data is the volume's mount point. The list is rebuilt each time it
// drops down, keeping the selected volume when it is still there.
#include <QComboBox>

#include <memory>
#include <string>

namespace murrel {

class VolumeTable;

class TDVDrivesCombo : public QComboBox {
    Q_OBJECT
public:
    explicit TDVDrivesCombo(QWidget* parent = nullptr);

    void setVolumeTable(std::shared_ptr<VolumeTable> table);

    // Mount point of the selected volume ("" when none).
    std::string Drive() const;
    // Selects the volume mounted at `mount_point`; false (selection unchanged)
    // when no listed volume has that mount point.
    bool setDrive(const std::string& mount_point);

    // Rebuilds the item list from the volume table, keeping the selection.
    void rebuild();

    void showPopup() override;

signals:
    // The user picked an item.
    void OnChange();

private:
    std::shared_ptr<VolumeTable> table_;
};

}  // namespace murrel
