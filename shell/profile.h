#pragma once
// INI ("profile") files with the semantics the program's configuration and the
// editor's region file were designed around:
//  - section and key names match without regard to ASCII letter case;
//  - the first matching section is the only one searched, and within it the
//    first matching key wins;
//  - blanks around names and values are ignored, and one pair of matching
//    quotes (' or ") around a value is removed;
//  - a value is seen through a 2,048-byte buffer: at most 2,047 bytes of it
//    (the default too);
//  - a write replaces the first matching key's line, or adds the key at the end
//    of its section (the section at the end of the file), and keeps every other
//    line of the file byte for byte, line endings included;
//  - a write that cannot be carried out throws ProfileWriteError, whose text is
//    "Unable to write to <path>".
// Values are byte strings: no text encoding is applied here.
//
// A ProfileFile reads the file once when constructed (a missing or unreadable
// file reads as empty) and answers reads from that snapshot. Each write re-reads
// the file, changes one line and writes it back, then updates the snapshot, so
// writes never lose lines another program added meanwhile. Not thread-safe; use
// one object per thread.
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace murrel {

class ProfileWriteError : public std::runtime_error {
public:
    explicit ProfileWriteError(const std::string& path);
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Size of the buffer values are read through; a value keeps at most one byte less.
inline constexpr std::size_t kProfileValueBuffer = 2048;

class ProfileFile {
public:
    explicit ProfileFile(std::string path);
    // A snapshot of `content` as if it had been read from `path`; nothing is
    // read. Writes still go to `path`.
    static ProfileFile from_text(std::string content, std::string path = {});

    const std::string& path() const { return path_; }

    // Re-reads the file from disk.
    void reload();

    // The value of `key` in `section`, or `default_value` when either is missing.
    // Both are cut to kProfileValueBuffer - 1 bytes.
    std::string read_string(std::string_view section, std::string_view key,
                            std::string_view default_value = {}) const;

    // Integer reads in the style of the region file's readers: a value that is
    // missing or not a decimal integer (optional sign, digits, surrounding
    // blanks allowed) yields the default.
    int32_t read_integer(std::string_view section, std::string_view key, int32_t default_value) const;
    int64_t read_int64(std::string_view section, std::string_view key, int64_t default_value) const;
    // A number other than 0 is true; anything that is no number yields the default.
    bool read_bool(std::string_view section, std::string_view key, bool default_value) const;

    bool section_exists(std::string_view section) const;
    bool value_exists(std::string_view section, std::string_view key) const;

    // Throw ProfileWriteError when the file cannot be written.
    void write_string(std::string_view section, std::string_view key, std::string_view value);
    void write_integer(std::string_view section, std::string_view key, int64_t value);
    void write_bool(std::string_view section, std::string_view key, bool value);  // "1" / "0"

    // For many writes in a row (a whole region file): after defer_writes()
    // writes change only the snapshot, and flush() stores the file once, with
    // the same result as writing each key through. Changes others make to the
    // file in between are not seen. flush() throws ProfileWriteError.
    void defer_writes();
    void flush();

private:
    ProfileFile() = default;
    std::string path_;
    std::string content_;
    bool deferred_ = false;
    bool dirty_ = false;
};

// Strict decimal conversion as used for `Charset`: optional blanks, an optional
// sign and at least one digit, optional trailing blanks; nothing else, and the
// value must fit. std::nullopt otherwise.
std::optional<int64_t> parse_decimal(std::string_view text);
std::optional<int32_t> parse_int32(std::string_view text);

// Reads and writes of single values without keeping an object, in the manner of
// the platform's private-profile functions.
std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view default_value, const std::string& path);
void WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::string_view value, const std::string& path);

}  // namespace murrel
