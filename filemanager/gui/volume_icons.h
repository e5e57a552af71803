#pragma once
// Icons of volumes, folders and files, from the icon theme when it has them and
// from the widget style otherwise.
#include <QIcon>

#include <string>

namespace murrel {

struct Volume;

QIcon volume_icon(const Volume& volume);
QIcon folder_icon();
QIcon file_icon(const std::string& file_name);

}  // namespace murrel
