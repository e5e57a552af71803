#include "filemanager/file_mask.h"

#include <algorithm>
#include <cctype>

namespace murrel {

namespace {

char fold(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool match_from(const std::string& p, size_t pi, const std::string& n, size_t ni) {
    // Iterative matcher with one backtrack point for the last '*': linear in
    // practice, no recursion depth to worry about for hostile names.
    size_t star = std::string::npos, star_ni = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == '?' || (p[pi] != '*' && fold(p[pi]) == fold(n[ni])))) {
            ++pi;
            ++ni;
        } else if (pi < p.size() && p[pi] == '*') {
            star = pi++;
            star_ni = ni;
        } else if (star != std::string::npos) {
            pi = star + 1;
            ni = ++star_ni;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*') ++pi;
    return pi == p.size();
}

}  // namespace

std::string trim_blanks(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::vector<std::string> split_mask(const std::string& mask) {
    std::vector<std::string> out;
    const std::string whole = trim_blanks(mask);
    size_t start = 0;
    while (start <= whole.size()) {
        const size_t end = std::min(whole.find(';', start), whole.size());
        std::string pattern = trim_blanks(whole.substr(start, end - start));
        if (!pattern.empty()) out.push_back(std::move(pattern));
        start = end + 1;
    }
    if (out.empty()) out.push_back("*.*");
    return out;
}

bool wildcard_match(const std::string& pattern, const std::string& name) {
    if (match_from(pattern, 0, name, 0)) return true;
    // "name.*" also finds "name", and "*.*" finds names without any dot.
    if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0 &&
        name.find('.') == std::string::npos)
        return match_from(pattern.substr(0, pattern.size() - 2), 0, name, 0);
    // A pattern ending in a bare dot ("*.") asks for names without an extension.
    if (pattern.size() >= 2 && pattern.back() == '.' && name.find('.') == std::string::npos)
        return match_from(pattern.substr(0, pattern.size() - 1), 0, name, 0);
    return false;
}

int matching_pattern(const std::vector<std::string>& patterns, const std::string& name) {
    for (size_t i = 0; i < patterns.size(); ++i)
        if (wildcard_match(patterns[i], name)) return static_cast<int>(i);
    return -1;
}

std::string filter_text_on_enter(const std::string& text) {
    std::string out = trim_blanks(text);
    if (out.size() <= 3 && (out.empty() || out.front() != '*')) out = "*." + out;
    return out;
}

bool filter_should_append(const std::vector<std::string>& items, const std::string& text) {
    return std::find(items.begin(), items.end(), text) == items.end();
}

std::vector<std::string> initial_filter_items() { return {"*.wav;*.vkd", "*.vkd", "*.wav"}; }

}  // namespace murrel
