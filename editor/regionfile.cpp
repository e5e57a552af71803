#include "editor/regionfile.h"

#include <filesystem>
#include <stdexcept>
#include <string_view>
#include <system_error>
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

void clear_lists(TMMEnhancedWave& doc) {
    if (TMMMarkerList* markers = doc.MarkerList()) markers->Clear();
    doc.SourceFades().Clear();
    if (TMMCutList* cuts = doc.CutList()) cuts->Clear();
}

void read_document(TMMEnhancedWave& doc, const ProfileFile& ini) {
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
            if (!ini.section_exists(section)) break;
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
    ProfileFile ini(path);
    try {
        doc.FreeWave();
        clear_lists(doc);
        if (ini.read_string("General", "Validate") != kRegionFileValidate ||
            ini.read_string("General", "Version") != kRegionFileVersion)
            return false;
        read_document(doc, ini);
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
    std::error_code ec;
    std::filesystem::remove(path, ec);
    doc.PlayList();
    doc.RebuildFadeList();

    ProfileFile ini(path);
    ini.write_string("General", "Validate", kRegionFileValidate);
    ini.write_string("General", "Version", kRegionFileVersion);
    ini.write_string("Sample", "FileName", doc.FileName());
    ini.write_integer("Sample", "StartPos", doc.StartPos());
    ini.write_integer("Sample", "EndPos", doc.EndPos());
    ini.write_integer("Sample", "Position", doc.Position());

    const auto& fades = doc.SourceFades().Items();
    ini.write_integer("Sample", "NumFades", int64_t(fades.size()));
    std::string line;
    int key = 1;
    for (size_t i = 0; i < fades.size(); ++i) {
        line += "(" + std::to_string(fades[i].position) + "," + std::to_string(fades[i].value) + ");";
        if ((i + 1) % kFadesPerKey == 0 || i + 1 == fades.size()) {
            ini.write_string("Sample", "Fades" + std::to_string(key++), line);
            line.clear();
        }
    }

    const TMMCutList* cuts = doc.CutList() ? doc.CutList() : doc.SkipList();
    if (cuts && cuts->Count() > 0) {
        const auto& items = cuts->Items();
        ini.write_integer("Sample", "NumCuts", int64_t(items.size()));
        key = 1;
        for (size_t i = 0; i < items.size(); ++i) {
            line += "(" + std::to_string(items[i].start) + "," + std::to_string(items[i].length) +
                    "," + std::to_string(items[i].extra) + ");";
            if ((i + 1) % kCutsPerKey == 0 || i + 1 == items.size()) {
                ini.write_string("Sample", "Cuts" + std::to_string(key++), line);
                line.clear();
            }
        }
    }

    const TMMMarkerList* markers = doc.MarkerList();
    if (markers && markers->Count() > 0) {
        ini.write_integer("Sample", "NumMarkers", markers->Count());
        for (int64_t i = 0; i < markers->Count(); ++i) {
            const TMMMarker& m = (*markers)[i];
            const std::string section = "Marker_" + std::to_string(i);
            ini.write_string(section, "Name", m.Name);
            ini.write_string(section, "Comment", m.Comment);
            ini.write_integer(section, "ID", m.ID);
            ini.write_integer(section, "NextID", m.NextID);
            ini.write_integer(section, "Offset", m.Offset);
            ini.write_integer(section, "Color", m.Color);
            ini.write_integer(section, "Flags", m.Flags);
            ini.write_bool(section, "Fixed", m.Fixed);
            ini.write_bool(section, "Visible", m.Visible);
        }
    }
    return true;
}

}  // namespace murrel
