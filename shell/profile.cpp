#include "shell/profile.h"

#include "shell/shell_texts.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>

namespace murrel {

namespace {

constexpr std::string_view kBlanks = " \t\r";

std::string_view trim(std::string_view s) {
    auto first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    auto last = s.find_last_not_of(kBlanks);
    return s.substr(first, last - first + 1);
}

bool equal_nocase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::string cut_to_buffer(std::string_view s) {
    return std::string(s.substr(0, std::min(s.size(), kProfileValueBuffer - 1)));
}

// One line of the file: [begin, text_end) is its text, [text_end, end) its line
// ending (empty on a last line without one).
struct Line {
    std::size_t begin, text_end, end;
};

std::vector<Line> split_lines(const std::string& content) {
    std::vector<Line> lines;
    std::size_t pos = 0;
    // A UTF-8 byte order mark is not part of the first line's text.
    if (content.compare(0, 3, "\xEF\xBB\xBF") == 0) pos = 3;
    while (pos < content.size()) {
        std::size_t nl = content.find('\n', pos);
        std::size_t end = nl == std::string::npos ? content.size() : nl + 1;
        std::size_t text_end = nl == std::string::npos ? content.size() : nl;
        if (nl != std::string::npos && text_end > pos && content[text_end - 1] == '\r') --text_end;
        lines.push_back({pos, text_end, end});
        pos = end;
    }
    return lines;
}

// The section name of a header line, or nullopt when the line is no header.
std::optional<std::string_view> section_name(std::string_view text) {
    std::string_view t = trim(text);
    if (t.empty() || t.front() != '[') return std::nullopt;
    t.remove_prefix(1);
    auto close = t.rfind(']');
    if (close != std::string_view::npos) t = t.substr(0, close);
    return t;
}

struct KeyLine {
    std::string_view name;
    std::string_view value;
};

std::optional<KeyLine> key_line(std::string_view text) {
    std::string_view t = trim(text);
    if (t.empty() || t.front() == ';') return std::nullopt;
    auto eq = t.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    std::string_view value = trim(t.substr(eq + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return KeyLine{trim(t.substr(0, eq)), value};
}

// Where a section's lines are: index of its header and one past its last line.
struct SectionSpan {
    std::size_t header, end;
};

std::optional<SectionSpan> find_section(const std::string& content, const std::vector<Line>& lines,
                                        std::string_view section) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view text(content.data() + lines[i].begin, lines[i].text_end - lines[i].begin);
        auto name = section_name(text);
        if (!name || !equal_nocase(*name, section)) continue;
        std::size_t j = i + 1;
        while (j < lines.size() &&
               !section_name(std::string_view(content.data() + lines[j].begin,
                                              lines[j].text_end - lines[j].begin)))
            ++j;
        return SectionSpan{i, j};
    }
    return std::nullopt;
}

std::optional<std::size_t> find_key(const std::string& content, const std::vector<Line>& lines,
                                    const SectionSpan& span, std::string_view key) {
    for (std::size_t i = span.header + 1; i < span.end; ++i) {
        auto kl = key_line(std::string_view(content.data() + lines[i].begin,
                                            lines[i].text_end - lines[i].begin));
        if (kl && equal_nocase(kl->name, key)) return i;
    }
    return std::nullopt;
}

std::optional<std::string> lookup(const std::string& content, std::string_view section,
                                  std::string_view key) {
    auto lines = split_lines(content);
    auto span = find_section(content, lines, section);
    if (!span) return std::nullopt;
    auto idx = find_key(content, lines, *span, key);
    if (!idx) return std::nullopt;
    const Line& l = lines[*idx];
    return std::string(key_line(std::string_view(content.data() + l.begin, l.text_end - l.begin))->value);
}

enum class ReadOutcome { Read, Missing, Failed };

ReadOutcome read_file(const std::string& path, std::string& out) {
    out.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? ReadOutcome::Missing : ReadOutcome::Failed;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return ReadOutcome::Failed;
        }
        if (n == 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ReadOutcome::Read;
}

bool write_all(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Replaces the file's content so that a crash leaves either the old or the new
// file: the text goes to a sibling file that is then renamed over the target.
// When the folder refuses new files but the file itself may be written, the file
// is rewritten in place instead. A read-only file is never replaced.
bool store_file(const std::string& path, const std::string& data) {
    std::string target = path;
    if (char* real = ::realpath(path.c_str(), nullptr)) {
        target = real;
        std::free(real);
    }
    struct stat st {};
    bool exists = ::stat(target.c_str(), &st) == 0;
    // A file without any write permission is read-only for everyone, the
    // super-user included, as a read-only INI file is meant to be.
    if (exists && (!S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0 ||
                   ::access(target.c_str(), W_OK) != 0))
        return false;

    std::string tmp = target + ".XXXXXX";
    int fd = ::mkstemp(tmp.data());
    if (fd >= 0) {
        mode_t mode = exists ? (st.st_mode & 07777) : 0;
        if (!exists) {
            mode_t mask = ::umask(0);
            ::umask(mask);
            mode = 0666 & ~mask;
        }
        bool ok = ::fchmod(fd, mode) == 0 && write_all(fd, data);
        ok = (::close(fd) == 0) && ok;
        if (ok && ::rename(tmp.c_str(), target.c_str()) == 0) return true;
        ::unlink(tmp.c_str());
        return false;
    }
    if (!exists) return false;
    fd = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = write_all(fd, data);
    return (::close(fd) == 0) && ok;
}

}  // namespace

ProfileWriteError::ProfileWriteError(const std::string& path)
    : std::runtime_error(shell_text(ShellText::UnableToWrite, path)), path_(path) {}

ProfileFile::ProfileFile(std::string path) : path_(std::move(path)) { reload(); }

ProfileFile ProfileFile::from_text(std::string content, std::string path) {
    ProfileFile file;
    file.path_ = std::move(path);
    file.content_ = std::move(content);
    return file;
}

void ProfileFile::reload() {
    if (read_file(path_, content_) != ReadOutcome::Read) content_.clear();
}

std::string ProfileFile::read_string(std::string_view section, std::string_view key,
                                     std::string_view default_value) const {
    auto value = lookup(content_, section, key);
    return cut_to_buffer(value ? std::string_view(*value) : default_value);
}

int32_t ProfileFile::read_integer(std::string_view section, std::string_view key,
                                  int32_t default_value) const {
    auto v = parse_int32(read_string(section, key));
    return v ? *v : default_value;
}

int64_t ProfileFile::read_int64(std::string_view section, std::string_view key,
                                int64_t default_value) const {
    auto v = parse_decimal(read_string(section, key));
    return v ? *v : default_value;
}

bool ProfileFile::read_bool(std::string_view section, std::string_view key, bool default_value) const {
    auto v = parse_decimal(read_string(section, key));
    return v ? *v != 0 : default_value;
}

bool ProfileFile::section_exists(std::string_view section) const {
    auto lines = split_lines(content_);
    return find_section(content_, lines, section).has_value();
}

bool ProfileFile::value_exists(std::string_view section, std::string_view key) const {
    return lookup(content_, section, key).has_value();
}

void ProfileFile::write_string(std::string_view section, std::string_view key, std::string_view value) {
    // A line break inside a value would add lines of its own to the file.
    value = value.substr(0, value.find_first_of("\r\n"));

    std::string content;
    if (deferred_)
        content = content_;
    else if (read_file(path_, content) == ReadOutcome::Failed)
        throw ProfileWriteError(path_);
    auto lines = split_lines(content);
    std::string eol = "\n";
    if (!lines.empty() && lines.front().end - lines.front().text_end == 2) eol = "\r\n";

    std::string entry;
    std::string updated;
    auto span = find_section(content, lines, section);
    if (span) {
        if (auto idx = find_key(content, lines, *span, key)) {
            const Line& l = lines[*idx];
            auto kl = key_line(std::string_view(content.data() + l.begin, l.text_end - l.begin));
            entry.append(kl->name).append("=").append(value);
            updated = content.substr(0, l.begin) + entry + content.substr(l.text_end);
        } else {
            // After the section's last line that is not blank.
            std::size_t last = span->header;
            for (std::size_t i = span->header + 1; i < span->end; ++i)
                if (!trim(std::string_view(content.data() + lines[i].begin,
                                           lines[i].text_end - lines[i].begin))
                         .empty())
                    last = i;
            const Line& l = lines[last];
            entry.append(key).append("=").append(value).append(eol);
            if (l.end == l.text_end)  // last line of a file without a final line ending
                updated = content + eol + entry;
            else
                updated = content.substr(0, l.end) + entry + content.substr(l.end);
        }
    } else {
        updated = content;
        if (!updated.empty() && updated.back() != '\n') updated += eol;
        if (!lines.empty()) updated += eol;
        updated.append("[").append(section).append("]").append(eol);
        updated.append(key).append("=").append(value).append(eol);
    }
    if (deferred_) {
        content_ = std::move(updated);
        dirty_ = true;
        return;
    }
    if (!store_file(path_, updated)) throw ProfileWriteError(path_);
    content_ = std::move(updated);
}

void ProfileFile::defer_writes() {
    if (!deferred_) reload();
    deferred_ = true;
}

void ProfileFile::flush() {
    deferred_ = false;
    if (!dirty_) return;
    if (!store_file(path_, content_)) throw ProfileWriteError(path_);
    dirty_ = false;
}

void ProfileFile::write_integer(std::string_view section, std::string_view key, int64_t value) {
    write_string(section, key, std::to_string(value));
}

void ProfileFile::write_bool(std::string_view section, std::string_view key, bool value) {
    write_string(section, key, value ? "1" : "0");
}

std::optional<int64_t> parse_decimal(std::string_view text) {
    std::string_view t = trim(text);
    bool negative = false;
    if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
        negative = t.front() == '-';
        t.remove_prefix(1);
    }
    if (t.empty()) return std::nullopt;
    uint64_t magnitude = 0;
    auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), magnitude);
    if (ec != std::errc() || ptr != t.data() + t.size()) return std::nullopt;
    if (negative) {
        if (magnitude > static_cast<uint64_t>(INT64_MAX) + 1) return std::nullopt;
        return static_cast<int64_t>(0 - magnitude);
    }
    if (magnitude > static_cast<uint64_t>(INT64_MAX)) return std::nullopt;
    return static_cast<int64_t>(magnitude);
}

std::optional<int32_t> parse_int32(std::string_view text) {
    auto v = parse_decimal(text);
    if (!v || *v < INT32_MIN || *v > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(*v);
}

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view default_value, const std::string& path) {
    return ProfileFile(path).read_string(section, key, default_value);
}

void WritePrivateProfileString(std::string_view section, std::string_view key, std::string_view value,
                               const std::string& path) {
    ProfileFile(path).write_string(section, key, value);
}

}  // namespace murrel
