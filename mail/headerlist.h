#pragma once
// Header lines of a message or a message part, kept as the physical lines that are written.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zp {

// Folds one header line at white space outside double quotes so that pieces stay near the
// limit (RFC 822 3.1.1); existing CR LF + white-space breaks are kept. Shift-JIS double-byte
// characters are never split. Gives the physical lines, without CR LF and without trailing
// white space.
std::vector<std::string> foldHeaderLine(std::string_view line, std::size_t limit = 78);

// An ordered list of physical header lines "Name: value". Continuation lines (starting with
// a space or a tab) belong to the line above them.
class HeaderList {
public:
    // The value of the first line with this name (letter case ignored), continuation lines
    // joined with one space; empty when the name is absent.
    std::string value(std::string_view name) const;
    bool contains(std::string_view name) const;

    // Replaces the named line (with its continuation lines) in place, or appends it; an
    // empty value removes it. The line is folded. A CR or LF in the value that is not part
    // of a fold (CR LF and white space) becomes a space, so a value cannot add header lines.
    void setValue(std::string_view name, std::string_view value);

    // Appends one whole header line as it stands ("Name: value"), folded.
    void addLine(std::string_view line);

    // Appends the physical lines of other as they stand.
    void append(const HeaderList& other);

    void clear() { m_lines.clear(); }
    bool empty() const { return m_lines.empty(); }
    const std::vector<std::string>& lines() const { return m_lines; }

private:
    // Index of the first physical line of the named header, or npos.
    std::size_t find(std::string_view name) const;
    // Index one past the last continuation line of the header starting at first.
    std::size_t endOf(std::size_t first) const;

    std::vector<std::string> m_lines;
};

} // namespace zp
