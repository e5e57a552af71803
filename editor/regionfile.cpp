#include "editor/regionfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "shell/profile.h"

namespace murrel {

namespace {

constexpr int kFadesPerKey = 5;
constexpr int kCutsPerKey = 4;
constexpr int32_t kDefaultMarkerColor = 65535;

// A list entry's field that is not a whole number ends reading the file as a
// failure, as a bad number always did.
int64_t entry_number(std::string_view text) {
    auto v = parse_decimal(text);
    if (!v) throw std::invalid_argument("region file: not a number");
    return *v;
}

// Splits the entries of one list key: "(a,b);(c,d);" and so on. Each entry
// ends at the first ';'; its text without the leading "(" and the closing
// ")" is cut at commas into at most `fields` parts (the last keeps the rest).
std::vector<std::vector<int64_t>> parse_entries(std::string_view value, int fields) {
    std::vector<std::vector<int64_t>> out;
    for (;;) {
        const size_t semi = value.find(';');
        if (semi == std::string_view::npos) break;
        const std::string_view inner = semi >= 2 ? value.substr(1, semi - 2) : std::string_view();
        std::vector<int64_t> numbers;
        std::string_view rest = inner;
        for (int i = 0; i < fields; ++i) {
            const size_t comma = i + 1 < fields ? rest.find(',') : std::string_view::npos;
            numbers.push_back(entry_number(rest.substr(0, comma)));
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        }
        out.push_back(std::move(numbers));
        value.remove_prefix(semi + 1);
    }
    return out;
}

// The file's text as the profile layer writes it when every key is added in
// order to an empty file, built in one pass: sections apart by a blank line,
// each key appended to the section being written.
class RegionText {
public:
    void section(const std::string& name) {
        if (!text_.empty()) text_ += "\n";
        text_ += "[" + name + "]\n";
    }
    void key(const std::string& name, std::string_view value) {
        value = value.substr(0, value.find_first_of("\r\n"));  // one line per key
        text_.append(name).append("=").append(value).append("\n");
    }
    void key(const std::string& name, int64_t value) { key(name, std::to_string(value)); }
    void key(const std::string& name, bool value) { key(name, std::string_view(value ? "1" : "0")); }
    // Replaces `path` through a temporary file beside it; ProfileWriteError on failure.
    void store(const std::string& path) const {
        std::string tmp = path + ".XXXXXX";
        const int fd = ::mkstemp(tmp.data());
        if (fd < 0) throw ProfileWriteError(path);
        bool ok = ::fchmod(fd, 0644) == 0;
        for (std::size_t done = 0; ok && done < text_.size();) {
            const ssize_t n = ::write(fd, text_.data() + done, text_.size() - done);
            if (n < 0 && errno == EINTR) continue;
            ok = n > 0;
            if (ok) done += std::size_t(n);
        }
        ok = ::close(fd) == 0 && ok;
        if (!ok || ::rename(tmp.c_str(), path.c_str()) != 0) {
            ::unlink(tmp.c_str());
            throw ProfileWriteError(path);
        }
    }

private:
    std::string text_;
};

// Each section of a file on its own, so that reading a thousand markers costs
// one pass over the file rather than one per key. Names match without regard
// to ASCII case and the first section of a name is the one that counts, as
// in the profile layer.
class SectionIndex {
public:
    explicit SectionIndex(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::size_t pos = content.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
        std::string name, body;
        bool in_section = false;
        auto close = [&] {
            if (in_section && !sections_.count(name))
                sections_.emplace(name, ProfileFile::from_text("[" + name + "]\n" + body, path));
            body.clear();
        };
        while (pos < content.size()) {
            std::size_t nl = content.find('\n', pos);
            const std::size_t end = nl == std::string::npos ? content.size() : nl + 1;
            const std::string_view line(content.data() + pos, end - pos);
            const std::size_t first = line.find_first_not_of(" \t\r\n");
            if (first != std::string_view::npos && line[first] == '[') {
                close();
                std::string_view rest = line.substr(first + 1);
                rest = rest.substr(0, rest.find_last_not_of(" \t\r\n") + 1);
                if (const std::size_t bracket = rest.rfind(']'); bracket != std::string_view::npos)
                    rest = rest.substr(0, bracket);
                name = lower(rest);
                in_section = true;
            } else {
                body.append(line);
            }
            pos = end;
        }
        close();
    }
    // The section's own file, or an empty one.
    const ProfileFile& operator[](const std::string& section) const {
        auto it = sections_.find(lower(section));
        return it == sections_.end() ? empty_ : it->second;
    }
    bool has(const std::string& section) const { return sections_.count(lower(section)) != 0; }

private:
    static std::string lower(std::string_view s) {
        std::string out(s);
        for (char& c : out)
            if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        return out;
    }
    std::unordered_map<std::string, ProfileFile> sections_;
    ProfileFile empty_ = ProfileFile::from_text("");
};

void clear_lists(TMMEnhancedWave& doc) {
    if (TMMMarkerList* markers = doc.MarkerList()) markers->Clear();
    doc.SourceFades().Clear();
    if (TMMCutList* cuts = doc.CutList()) cuts->Clear();
}

void read_document(TMMEnhancedWave& doc, const SectionIndex& sections) {
    const ProfileFile& ini = sections["Sample"];
    doc.SetFileName(ini.read_string("Sample", "FileName"));
    doc.SetStartPos(ini.read_int64("Sample", "StartPos", doc.StartPos()));
    doc.SetEndPos(ini.read_int64("Sample", "EndPos", doc.EndPos()));

    const int64_t fades = ini.read_int64("Sample", "NumFades", 0);
    if (fades > 0) {
        TMMFadeList& list = doc.SourceFades();
        list.BeginUpdate();
        list.Clear();
        for (int64_t k = 1; k <= fades; ++k) {
            const std::string value = ini.read_string("Sample", "Fades" + std::to_string(k));
            if (value.empty()) break;
            for (const auto& e : parse_entries(value, 2))
                list.AddPoint(e[0], int32_t(e[1]));
        }
        list.EndUpdate();
    }

    if (TMMCutList* cuts = doc.CutList()) {
        const int64_t count = ini.read_int64("Sample", "NumCuts", 0);
        if (count > 0) {
            cuts->BeginUpdate();
            cuts->Clear();
            for (int64_t k = 1; k <= count; ++k) {
                const std::string value = ini.read_string("Sample", "Cuts" + std::to_string(k));
                if (value.empty()) break;
                for (const auto& e : parse_entries(value, 3)) {
                    TMMCutRecord r;
                    r.start = e[0];
                    r.length = e[1];
                    r.extra = int32_t(e[2]);
                    cuts->Add(r);  // a cut starting inside an earlier one is refused
                }
            }
            cuts->EndUpdate();
            doc.SetCutList(cuts);  // the play list follows the new cuts
        }
    }

    if (TMMMarkerList* markers = doc.MarkerList()) {
        const int64_t count = ini.read_int64("Sample", "NumMarkers", 0);
        markers->BeginUpdate();
        struct End {
            TMMMarkerList* m;
            ~End() { m->EndUpdate(); }
        } end{markers};
        markers->Clear();
        for (int64_t i = 0; i < count; ++i) {
            const std::string section = "Marker_" + std::to_string(i);
            // A count larger than the sections present would otherwise make
            // up to 2^31 markers out of nothing.
            if (!sections.has(section)) break;
            const ProfileFile& ini = sections[section];
            TMMMarker m;
            m.Name = ini.read_string(section, "Name");
            m.Comment = ini.read_string(section, "Comment");
            m.ID = ini.read_integer(section, "ID", 0);
            m.NextID = ini.read_integer(section, "NextID", 0);
            m.Offset = ini.read_int64(section, "Offset", 0);
            m.Color = ini.read_integer(section, "Color", kDefaultMarkerColor);
            m.Flags = ini.read_integer(section, "Flags", 0);
            m.Fixed = ini.read_bool(section, "Fixed", false);
            m.Visible = ini.read_bool(section, "Visible", true);
            markers->Add(std::move(m));
        }
    }
}

}  // namespace

bool ReadRegionFile(TMMEnhancedWave& doc, const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    const SectionIndex sections(path);
    try {
        doc.FreeWave();
        clear_lists(doc);
        const ProfileFile& general = sections["General"];
        if (general.read_string("General", "Validate") != kRegionFileValidate ||
            general.read_string("General", "Version") != kRegionFileVersion)
            return false;
        read_document(doc, sections);
        return true;
    } catch (...) {
        try {
            doc.FreeWave();
        } catch (...) {
        }
        clear_lists(doc);
        return false;
    }
}

bool WriteRegionFile(TMMEnhancedWave& doc, const std::string& path) {
    doc.PlayList();
    doc.RebuildFadeList();

    RegionText ini;
    ini.section("General");
    ini.key("Validate", std::string_view(kRegionFileValidate));
    ini.key("Version", std::string_view(kRegionFileVersion));
    ini.section("Sample");
    ini.key("FileName", std::string_view(doc.FileName()));
    ini.key("StartPos", doc.StartPos());
    ini.key("EndPos", doc.EndPos());
    ini.key("Position", doc.Position());

    const auto& fades = doc.SourceFades().Items();
    ini.key("NumFades", int64_t(fades.size()));
    std::string line;
    int key = 1;
    for (size_t i = 0; i < fades.size(); ++i) {
        line += "(" + std::to_string(fades[i].position) + "," + std::to_string(fades[i].value) + ");";
        if ((i + 1) % kFadesPerKey == 0 || i + 1 == fades.size()) {
            ini.key("Fades" + std::to_string(key++), std::string_view(line));
            line.clear();
        }
    }

    const TMMCutList* cuts = doc.CutList() ? doc.CutList() : doc.SkipList();
    if (cuts && cuts->Count() > 0) {
        const auto& items = cuts->Items();
        ini.key("NumCuts", int64_t(items.size()));
        key = 1;
        for (size_t i = 0; i < items.size(); ++i) {
            line += "(" + std::to_string(items[i].start) + "," + std::to_string(items[i].length) +
                    "," + std::to_string(items[i].extra) + ");";
            if ((i + 1) % kCutsPerKey == 0 || i + 1 == items.size()) {
                ini.key("Cuts" + std::to_string(key++), std::string_view(line));
                line.clear();
            }
        }
    }

    const TMMMarkerList* markers = doc.MarkerList();
    if (markers && markers->Count() > 0) {
        ini.key("NumMarkers", int64_t(markers->Count()));
        for (int64_t i = 0; i < markers->Count(); ++i) {
            const TMMMarker& m = (*markers)[i];
            ini.section("Marker_" + std::to_string(i));
            ini.key("Name", std::string_view(m.Name));
            ini.key("Comment", std::string_view(m.Comment));
            ini.key("ID", int64_t(m.ID));
            ini.key("NextID", int64_t(m.NextID));
            ini.key("Offset", int64_t(m.Offset));
            ini.key("Color", int64_t(m.Color));
            ini.key("Flags", int64_t(m.Flags));
            ini.key("Fixed", bool(m.Fixed));
            ini.key("Visible", bool(m.Visible));
        }
    }
    ini.store(path);
    return true;
}

}  // namespace murrel
