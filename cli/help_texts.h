#pragma once
// What each command's --help tells beyond its usage line: its arguments and
// options, one per line as "OPTION<TAB>meaning". The manual page is made from
// the same lines, so the two cannot drift apart.
#include <string_view>
#include <utility>
#include <vector>

namespace murrel::cli {

using HelpLine = std::pair<std::string_view, std::string_view>;

// Empty for a command without options.
const std::vector<HelpLine>& command_options(std::string_view command);

}  // namespace murrel::cli
