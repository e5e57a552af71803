#include "filemanager/gui/properties_dialog.h"

#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>

namespace murrel {

namespace {

QString permissions_text(QFileDevice::Permissions p) {
    const QFileDevice::Permission bits[9] = {QFileDevice::ReadOwner, QFileDevice::WriteOwner, QFileDevice::ExeOwner,
                                             QFileDevice::ReadGroup, QFileDevice::WriteGroup, QFileDevice::ExeGroup,
                                             QFileDevice::ReadOther, QFileDevice::WriteOther, QFileDevice::ExeOther};
    QString s;
    for (int i = 0; i < 9; ++i) s += (p & bits[i]) ? QLatin1Char("rwx"[i % 3]) : QLatin1Char('-');
    return s;
}

QString when(const QDateTime& t) { return t.isValid() ? t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QStringLiteral("-"); }

}  // namespace

std::string properties_text(const std::string& path, const std::string& type_name, const std::string& info_line) {
    const QFileInfo info(QString::fromStdString(path));
    QStringList lines;
    lines << QStringLiteral("Path: ") + info.absoluteFilePath();
    if (!type_name.empty()) lines << QStringLiteral("Type: ") + QString::fromStdString(type_name);
    qint64 bytes = info.size();
    if (info.isDir()) {
        bytes = 0;
        // A recorder's folder holds at most some thousand files: summing is quick.
        QDirIterator it(info.absoluteFilePath(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            bytes += it.fileInfo().size();
        }
    }
    lines << QStringLiteral("Size: ") + QLocale::c().toString(bytes) + QStringLiteral(" bytes");
    lines << QStringLiteral("Modified: ") + when(info.lastModified());
    lines << QStringLiteral("Accessed: ") + when(info.lastRead());
    lines << QStringLiteral("Created: ") + when(info.birthTime());
    lines << QStringLiteral("Permissions: ") + permissions_text(info.permissions()) + QStringLiteral("  (") +
                 info.owner() + QLatin1Char('/') + info.group() + QLatin1Char(')');
    if (!info_line.empty()) lines << QString::fromStdString(info_line);
    return lines.join(QLatin1Char('\n')).toStdString();
}

void show_properties_dialog(QWidget* parent, const std::string& path, const std::string& type_name,
                            const std::string& info_line) {
    auto* dialog = new QDialog(parent);
    dialog->setObjectName(QStringLiteral("Form_properties"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QFileInfo(QString::fromStdString(path)).fileName() + QStringLiteral(" - Properties"));
    auto* layout = new QVBoxLayout(dialog);
    auto* text = new QLabel(QString::fromStdString(properties_text(path, type_name, info_line)), dialog);
    text->setObjectName(QStringLiteral("label_properties"));
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(text);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
    layout->addWidget(buttons);
    dialog->show();
}

}  // namespace murrel
