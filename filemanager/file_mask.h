#pragma once
// The file list's mask and the filter box's rules for typed patterns.
#include <string>
#include <vector>

namespace murrel {

// The patterns of a mask: blanks around the whole mask are ignored, patterns are
// separated by ';', and an empty mask means "*.*". Empty patterns are dropped.
std::vector<std::string> split_mask(const std::string& mask);

// Wildcard matching as the recorder's home system does it: '*' any run, '?' one
// character, letter case ignored, and "*.*" (or any pattern ending in ".*")
// also matching names without a dot.
bool wildcard_match(const std::string& pattern, const std::string& name);

// Index of the first pattern of `patterns` that `name` matches, or -1.
int matching_pattern(const std::vector<std::string>& patterns, const std::string& name);

std::string trim_blanks(const std::string& text);

// Enter in the filter box: the trimmed text, with "*." put in front when it is
// at most 3 characters long and does not begin with '*' ("wav" -> "*.wav").
std::string filter_text_on_enter(const std::string& text);

// Whether Enter appends `text` to the box's list: when no item equals it
// exactly (case-sensitive).
bool filter_should_append(const std::vector<std::string>& items, const std::string& text);

// The items the filter box's list starts with.
std::vector<std::string> initial_filter_items();

}  // namespace murrel
