#pragma once
// Names and number texts shared by the conversions and the command line.
#include <string>

namespace murrel {

// Output name of a conversion: kind 1 gives the name with its extension
// replaced by ".wav", kind 2 by ".vkd", any other kind removes the extension.
// Only the file name part's last extension counts; a name without one gets
// the new extension appended.
std::string make_autofilename(const std::string& name, int kind);

// A number as the "%n" format shows it: two decimals, thousands separated by
// commas ("1,234.56"), rounded to nearest.
std::string format_n(double value);

// Folder part of `path` without the trailing '/' ("" for a bare name) and the
// file name part.
std::string folder_of(const std::string& path);
std::string file_name_of(const std::string& path);

}  // namespace murrel
