#pragma once
// The profile (INI) file: "[section]" header lines followed by "key=value" lines, in
// Shift-JIS. The whole file is held in memory as its lines; reading and writing work on
// those lines and `save` replaces the file in one step. Every line the program does not
// touch (comments, unknown keys, blank lines) is written back exactly as it was read.
//
// Section and key names are compared without regard to ASCII case. The second byte of a
// Shift-JIS double-byte character can look like an ASCII letter, "[" or "]"; names and
// headers are therefore scanned character by character, never byte by byte.
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zp {

// Reads an integer the way the settings file stores one: optional blanks, an optional
// sign, then decimal digits, or "$" or "0x"/"0X" followed by hexadecimal digits. The
// whole text must be the number ("12abc" is not one). Decimal values must fit in 32
// bits; hexadecimal ones may use all 32 bits and are taken as two's complement
// ("$FFFFFFFF" is -1). Returns false, leaving `value` alone, for anything else.
bool parseProfileInt(std::string_view text, int& value);

class ProfileFile {
public:
    // readString cuts longer values (at a character boundary); readText never cuts.
    static constexpr std::size_t kMaxValueBytes = 2047;
    // A larger file is not read, and not overwritten either.
    static constexpr std::size_t kMaxFileBytes = 16 * 1024 * 1024;

    // `path`: its bytes on POSIX, UTF-8 on Windows.
    explicit ProfileFile(std::string path);

    // Reads the file. A missing file is an empty profile and not an error. A file that
    // exists but cannot be read gives false; `save` then refuses to replace it, so a
    // file the program could not understand is never overwritten with defaults.
    bool load();
    // Takes the profile from text instead of the file (any line ends).
    void loadFromText(std::string_view text);

    const std::string& path() const { return m_path; }
    const std::string& error() const { return m_error; }

    // A missing section or key gives the default. Blanks around the value are dropped,
    // then one pair of double quotes that encloses the whole value.
    std::string readString(std::string_view section, std::string_view key,
                           std::string_view def) const;
    // A value that is not a number (see parseProfileInt) gives the default.
    int readInt(std::string_view section, std::string_view key, int def) const;
    // Read as an integer with the default 1 or 0; any non-zero number is true.
    bool readBool(std::string_view section, std::string_view key, bool def) const;
    bool keyExists(std::string_view section, std::string_view key) const;
    // A text value as UTF-8 (the subject, the body lines): characters that Shift-JIS cannot
    // hold are stored as escapes and read back whole (text/charescape.h); every other
    // character is stored as it always was. The value is read whole, however long (an older
    // copy reads its first kMaxValueBytes, as it does any long value).
    std::string readText(std::string_view section, std::string_view key,
                         std::string_view defUtf8) const;

    // Replaces the value of an existing key in place, or adds the key at the end of its
    // section, or adds the section at the end of the file. A value with blanks at either
    // end, or one enclosed in double quotes, is written inside another pair of quotes so
    // that it reads back unchanged. A line break in a value is stored as a blank.
    void writeString(std::string_view section, std::string_view key, std::string_view value);
    void writeText(std::string_view section, std::string_view key, std::string_view utf8);
    void writeInt(std::string_view section, std::string_view key, int value);
    void writeBool(std::string_view section, std::string_view key, bool value);
    // Removes the key's line; a missing key is not an error.
    void deleteKey(std::string_view section, std::string_view key);

    // The file's text as `save` writes it: the lines joined by CR LF.
    std::string text() const;
    // Replaces the file with text() in one atomic step. False, with error(), when the
    // file system refuses (the old file is then left whole) or when load() failed.
    bool save();

private:
    struct Line {
        std::string raw;
        bool deleted = false;
    };
    struct Section {
        std::string header; // the raw header line; empty for the lines before any section
        std::vector<Line> lines;
        std::unordered_map<std::string, std::size_t> keys; // folded key -> first line
        bool hasDuplicateKeys = false;
    };

    void addLine(std::string_view raw);
    const Line* findLine(std::string_view section, std::string_view key) const;
    std::string readValue(std::string_view section, std::string_view key, std::string_view def,
                          std::size_t maxBytes) const;
    Section& sectionFor(std::string_view section);

    std::string m_path;
    std::string m_error;
    bool m_loadFailed = false;
    std::vector<Section> m_sections; // [0] holds the lines before the first header
    std::unordered_map<std::string, std::size_t> m_sectionIndex; // folded name -> first
};

} // namespace zp
