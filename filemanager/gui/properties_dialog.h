#pragma once
// The properties of one entry: path, size, dates, permissions, and for a
// voice or WAV file what the list says of it. Not modal: it only informs.
#include <string>

class QWidget;

namespace murrel {

// The dialog's text lines, in order ("Path: …", "Size: …", …).
std::string properties_text(const std::string& path, const std::string& type_name, const std::string& info_line);

// Shows the dialog over `parent`; it deletes itself when closed.
void show_properties_dialog(QWidget* parent, const std::string& path, const std::string& type_name,
                            const std::string& info_line);

}  // namespace murrel
