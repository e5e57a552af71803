#include "voicefile/naming.h"

#include <cmath>
#include <cstdio>

namespace murrel {

std::string make_autofilename(const std::string& name, int kind) {
    std::size_t slash = name.find_last_of('/');
    std::size_t dot = name.find_last_of('.');
    std::string stem = (dot == std::string::npos || (slash != std::string::npos && dot < slash))
                           ? name
                           : name.substr(0, dot);
    if (kind == 1) return stem + ".wav";
    if (kind == 2) return stem + ".vkd";
    return stem;
}

std::string format_n(double value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f", std::fabs(value));
    std::string digits(buf);
    std::size_t point = digits.find('.');
    std::string whole = digits.substr(0, point);
    std::string grouped;
    for (std::size_t i = 0; i < whole.size(); ++i) {
        if (i > 0 && (whole.size() - i) % 3 == 0) grouped += ',';
        grouped += whole[i];
    }
    bool negative = value < 0 && digits != "0.00";
    return (negative ? "-" : "") + grouped + digits.substr(point);
}

std::string folder_of(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return {};
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string file_name_of(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace murrel
