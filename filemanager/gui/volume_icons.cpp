#include "filemanager/gui/volume_icons.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>

#include <algorithm>
#include <cmath>

#include "filemanager/volumes.h"

namespace murrel {

namespace {
QIcon themed(const char* name, QStyle::StandardPixmap fallback) {
    return QIcon::fromTheme(QLatin1String(name), QApplication::style()->standardIcon(fallback));
}

// A sound file's page with a wave on it, drawn at every size the list's
// styles use: the toolkit's own sound picture exists only small and would
// stay tiny in the icon style.
QIcon drawn_audio_icon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal u = size / 16.0;
        const QRectF page(2.5 * u, 0.5 * u, 11 * u, 15 * u);
        QPainterPath outline;
        outline.moveTo(page.topLeft());
        outline.lineTo(page.right() - 3.5 * u, page.top());
        outline.lineTo(page.right(), page.top() + 3.5 * u);
        outline.lineTo(page.bottomRight());
        outline.lineTo(page.bottomLeft());
        outline.closeSubpath();
        p.setPen(QPen(QColor(0x9a, 0xa4, 0xb0), std::max(1.0, u * 0.8)));
        p.setBrush(QColor(0x2a, 0x30, 0x38));
        p.drawPath(outline);
        QPainterPath wave;
        for (int i = 0; i <= 16; ++i) {
            const qreal x = page.left() + 1.5 * u + i * (page.width() - 3 * u) / 16.0;
            const qreal y = page.center().y() + std::sin(i * 0.9) * 3.2 * u * std::sin(i / 16.0 * M_PI);
            if (i == 0) wave.moveTo(x, y);
            else wave.lineTo(x, y);
        }
        p.setPen(QPen(QColor(0x3f, 0xc8, 0xc4), std::max(1.0, u * 1.1)));
        p.setBrush(Qt::NoBrush);
        p.drawPath(wave);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
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
    static const QIcon audio = QIcon::fromTheme(QStringLiteral("audio-x-generic"), drawn_audio_icon());
    static const QIcon plain = themed("text-x-generic", QStyle::SP_FileIcon);
    const QString name = QString::fromStdString(file_name).toLower();
    return name.endsWith(QLatin1String(".wav")) || name.endsWith(QLatin1String(".vkd")) ? audio
                                                                                         : plain;
}

}  // namespace murrel
