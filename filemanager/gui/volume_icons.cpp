#include "filemanager/gui/volume_icons.h"

#include <QApplication>
#include <QStyle>

#include "filemanager/volumes.h"

namespace murrel {

namespace {
QIcon themed(const char* name, QStyle::StandardPixmap fallback) {
    return QIcon::fromTheme(QLatin1String(name), QApplication::style()->standardIcon(fallback));
}
}  // namespace

QIcon volume_icon(const Volume& volume) {
    switch (volume.kind) {
    case VolumeKind::Home: return themed("user-home", QStyle::SP_DirHomeIcon);
    case VolumeKind::Removable: return themed("drive-removable-media", QStyle::SP_DriveFDIcon);
    case VolumeKind::Root:
    case VolumeKind::Fixed: break;
    }
    return themed("drive-harddisk", QStyle::SP_DriveHDIcon);
}

QIcon folder_icon() {
    static const QIcon icon = themed("folder", QStyle::SP_DirIcon);
    return icon;
}

QIcon file_icon(const std::string& file_name) {
    static const QIcon audio = themed("audio-x-generic", QStyle::SP_MediaVolume);
    static const QIcon plain = themed("text-x-generic", QStyle::SP_FileIcon);
    const QString name = QString::fromStdString(file_name).toLower();
    return name.endsWith(QLatin1String(".wav")) || name.endsWith(QLatin1String(".vkd")) ? audio
                                                                                         : plain;
}

}  // namespace murrel
